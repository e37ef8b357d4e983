// test-prepare: sets up a Wine prefix the way a real system would have
// been set up, through the same Windows functions an installer uses.
//   test-prepare shortcut LNK TARGET [ARGUMENTS]   a shortcut via IShellLinkA
//   test-prepare attrib PATH LETTERS                attributes from R, H, S, A
//   test-prepare mkdir PATH                         a folder and its parents
//   test-prepare reg-string ROOT KEY NAME           prints a string value
#include "platform/win32/handles.h"

#include <shlobj.h>

#include <iostream>
#include <string>

#include "platform/registry_reader.h"
#include "platform/win32/registry_win32.h"

using namespace tarnscan;
using platform::win32::ComPtr;

namespace {

int MakeShortcut(const std::string& lnk, const std::string& target, const std::string& arguments) {
  platform::win32::EnsureComApartment();
  ComPtr<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.Out()))) {
    std::cerr << "no shell-link object\n";
    return 1;
  }
  link->SetPath(target.c_str());
  if (!arguments.empty()) link->SetArguments(arguments.c_str());
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return 1;
  wchar_t wide[MAX_PATH] = {};
  MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH);
  if (FAILED(file->Save(wide, TRUE))) {
    std::cerr << "cannot save " << lnk << '\n';
    return 1;
  }
  return 0;
}

int SetAttributes(const std::string& path, const std::string& letters) {
  DWORD attributes = 0;
  for (char c : letters) {
    switch (c) {
      case 'R': attributes |= FILE_ATTRIBUTE_READONLY; break;
      case 'H': attributes |= FILE_ATTRIBUTE_HIDDEN; break;
      case 'S': attributes |= FILE_ATTRIBUTE_SYSTEM; break;
      case 'A': attributes |= FILE_ATTRIBUTE_ARCHIVE; break;
      default: break;
    }
  }
  if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileAttributesA(path.c_str(), attributes)) {
    std::cerr << "cannot set the attributes of " << path << '\n';
    return 1;
  }
  return 0;
}

int PrintString(const std::string& root_name, const std::string& key, const std::string& name) {
  const auto root = platform::ParseRootKeyName(root_name);
  if (!root) return 2;
  platform::Win32Registry registry;
  platform::RegistryReader reader(registry, platform::Access::kRead);
  reader.SetRoot(*root);
  if (!reader.OpenKey(key)) return 1;
  std::cout << reader.ReadString(name) << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "shortcut" && (argc == 4 || argc == 5)) {
    return MakeShortcut(argv[2], argv[3], argc == 5 ? argv[4] : "");
  }
  if (command == "attrib" && argc == 4) return SetAttributes(argv[2], argv[3]);
  if (command == "mkdir" && argc == 3) {
    const int result = SHCreateDirectoryExA(nullptr, argv[2], nullptr);
    return result == ERROR_SUCCESS || result == ERROR_ALREADY_EXISTS ? 0 : 1;
  }
  if (command == "reg-string" && argc == 5) return PrintString(argv[2], argv[3], argv[4]);
  std::cerr << "usage: test-prepare shortcut LNK TARGET [ARGUMENTS] | attrib PATH LETTERS |\n"
               "       mkdir PATH | reg-string ROOT KEY NAME\n";
  return 2;
}
