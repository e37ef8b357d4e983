#include "addon/path_macros.h"

#include <gtest/gtest.h>

namespace tarnscan {
namespace {

Environment XpEnvironment() {
  Environment env;
  env.sys_drv = "C:\\";
  env.win_dir = "C:\\WINDOWS";
  env.sys_dir = "C:\\WINDOWS\\SYSTEM32";
  env.prg_files = "C:\\Program Files";
  env.current_user_dir = "C:\\Documents and Settings\\Owner";
  env.all_users_dir = "C:\\Documents and Settings\\All Users";
  return env;
}

TEST(ExpandPathMacros, OneMacroAtTheStartInAnyCase) {
  const std::pair<const char*, const char*> cases[] = {
      {"%WinDir%\\System32\\Drivers", "C:\\WINDOWS\\System32\\Drivers"},
      {"%windir%", "C:\\WINDOWS"},
      {"%SYSDRV%", "C:"},
      {"%SysDrv%\\Temp", "C:\\Temp"},
      {"%SysDir%\\dllcache", "C:\\WINDOWS\\SYSTEM32\\dllcache"},
      {"%PrgFiles%\\Common Files", "C:\\Program Files\\Common Files"},
      {"%CurrentUser%\\Application Data", "C:\\Documents and Settings\\Owner\\Application Data"},
      {"%AllUsers%\\Start Menu", "C:\\Documents and Settings\\All Users\\Start Menu"},
      {"%WinDir%\\%SysDir%", "C:\\WINDOWS\\%SysDir%"},  // at most one
      {"%WinDir%X", "C:\\WINDOWSX"},                    // the rest is copied as it is
      {"C:\\Temp\\%WinDir%", "C:\\Temp\\%WinDir%"},     // only at the start
      {"%TEMP%\\x", "%TEMP%\\x"},
      {" %WinDir%", " %WinDir%"},
      {"%WinDi", "%WinDi"},
      {"", ""},
  };
  const Environment env = XpEnvironment();
  for (const auto& [text, folder] : cases) EXPECT_EQ(ExpandPathMacros(env, text), folder) << text;
}

TEST(ExpandPathMacros, AnEmptyFolderLeavesTheRest) {
  Environment env = XpEnvironment();
  env.current_user_dir.clear();
  env.sys_drv = "C";  // shorter than a drive: as much of it as there is
  EXPECT_EQ(ExpandPathMacros(env, "%CurrentUser%\\Cookies"), "\\Cookies");
  EXPECT_EQ(ExpandPathMacros(env, "%SysDrv%\\Temp"), "C\\Temp");
}

}  // namespace
}  // namespace tarnscan
