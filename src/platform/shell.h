// The two services of the Windows shell the scanner uses.
#pragma once

#include <string>
#include <string_view>

namespace tarnscan::platform {

class Shell {
 public:
  virtual ~Shell() = default;
  // The target path of a shortcut as IShellLinkA::GetPath with
  // SLGP_UNCPRIORITY returns it after IPersistFile::Load; empty when the
  // file cannot be loaded as a shortcut or has no path.
  virtual std::string ResolveShortcut(std::string_view lnk_path) const = 0;
  // ShellExecuteA(owner, "open", program, parameters, nullptr, SW_SHOWNORMAL);
  // the result is ignored by the scanner, as on Windows.
  virtual void Open(std::string_view program, std::string_view parameters) const = 0;
};

}  // namespace tarnscan::platform
