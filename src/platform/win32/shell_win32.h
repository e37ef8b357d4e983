// The shell services on the live system: the shell-link object
// (IShellLinkA with IPersistFile) and ShellExecuteA.
#pragma once

#include <atomic>

#include "platform/shell.h"
#include "platform/win32/handles.h"

namespace tarnscan::platform {

class Win32Shell final : public Shell {
 public:
  std::string ResolveShortcut(std::string_view lnk_path) const override;
  void Open(std::string_view program, std::string_view parameters) const override;

  // The window that owns what the shell shows (the main window).
  void SetOwner(HWND owner) { owner_ = owner; }

 private:
  std::atomic<HWND> owner_{nullptr};
};

}  // namespace tarnscan::platform
