#include "platform/win32/shell_win32.h"

#include <cstring>
#include <string>

#include "platform/win32/handles.h"

namespace tarnscan::platform {

using win32::ComPtr;

std::string Win32Shell::ResolveShortcut(std::string_view lnk_path) const {
  win32::EnsureComApartment();
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.Out()))) {
    return {};
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return {};

  // The name goes through a buffer of MAX_PATH characters, as the ANSI
  // shell-link interface allows no more; a longer name loads nothing.
  const std::string name(lnk_path);
  wchar_t wide_name[MAX_PATH] = {};
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name.c_str(), -1, wide_name, MAX_PATH) == 0) {
    wide_name[0] = L'\0';
  }
  file->Load(wide_name, STGM_READ);

  char target[MAX_PATH] = {};
  WIN32_FIND_DATAA find_data;
  link->GetPath(target, MAX_PATH, &find_data, SLGP_UNCPRIORITY);
  target[MAX_PATH - 1] = '\0';
  return std::string(target, strnlen(target, MAX_PATH));
}

void Win32Shell::Open(std::string_view program, std::string_view parameters) const {
  win32::EnsureComApartment();
  const std::string file(program);
  const std::string arguments(parameters);
  ShellExecuteA(owner_.load(), "open", file.c_str(), arguments.c_str(), nullptr, SW_SHOWNORMAL);
}

}  // namespace tarnscan::platform
