#include "addon/path_macros.h"

#include "platform/text.h"

namespace tarnscan {
namespace {

struct PathMacro {
  std::string_view macro;
  std::string (*folder)(const Environment&);
};

// Tried in this order; the first that matches wins.
const PathMacro kPathMacros[] = {
    // The drive letter and colon only: "%SysDrv%\Temp" gives "C:\Temp".
    {"%SysDrv%", [](const Environment& env) { return env.sys_drv.substr(0, 2); }},
    {"%WinDir%", [](const Environment& env) { return env.win_dir; }},
    {"%SysDir%", [](const Environment& env) { return env.sys_dir; }},
    {"%PrgFiles%", [](const Environment& env) { return env.prg_files; }},
    {"%CurrentUser%", [](const Environment& env) { return env.current_user_dir; }},
    {"%AllUsers%", [](const Environment& env) { return env.all_users_dir; }},
};

}  // namespace

std::string ExpandPathMacros(const Environment& env, std::string_view text) {
  for (const PathMacro& row : kPathMacros) {
    const std::string_view start = text.substr(0, row.macro.size());
    if (platform::EqualsIgnoreCase(start, row.macro)) {
      return row.folder(env) + std::string(text.substr(start.size()));
    }
  }
  return std::string(text);
}

}  // namespace tarnscan
