// test-prepare: sets up a Wine prefix the way a real system would have
// been set up, through the same Windows functions an installer uses.
//   test-prepare shortcut LNK TARGET [ARGUMENTS]   a shortcut via IShellLinkA
//   test-prepare attrib PATH LETTERS                attributes from R, H, S, A
//   test-prepare mkdir PATH                         a folder and its parents
//   test-prepare reg-string ROOT KEY NAME           prints a string value
//   test-prepare write PATH TEXT                    a file holding TEXT
//   test-prepare copy FROM TO                       a copy of a file
//   test-prepare settle                             asks the shell for its folders
//   test-prepare mirror-shell-folders               "Shell Folders" into "User Shell Folders"
//   test-prepare unshadow-classes                   see UnshadowClasses
// Wine's shell rewrites "Shell Folders" values from "User Shell Folders"
// (its own defaults where that key has none) whenever a program asks for
// a folder. A real XP keeps both keys in step, and has the folders they
// name (the shell fails without its desktop folder); mirroring the
// imported values and making their folders gives the prefix the same.

#include <iostream>
#include <string>

#include "platform/registry_reader.h"
#include "platform/win32/handles.h"
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
      case 'R':
        attributes |= FILE_ATTRIBUTE_READONLY;
        break;
      case 'H':
        attributes |= FILE_ATTRIBUTE_HIDDEN;
        break;
      case 'S':
        attributes |= FILE_ATTRIBUTE_SYSTEM;
        break;
      case 'A':
        attributes |= FILE_ATTRIBUTE_ARCHIVE;
        break;
      default:
        break;
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

int WriteFile(const std::string& path, const std::string& text) {
  tarnscan::platform::win32::FileHandle file(CreateFileA(
      path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  if (!file.Valid() ||
      !::WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    std::cerr << "cannot write " << path << '\n';
    return 1;
  }
  return 0;
}

constexpr char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kUserShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

int MirrorShellFolders() {
  platform::Win32Registry registry;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    const auto from = registry.Open(root == HKEY_LOCAL_MACHINE ? platform::RootKey::kLocalMachine
                                                               : platform::RootKey::kCurrentUser,
                                    kShellFolders, platform::Access::kRead);
    HKEY to = nullptr;
    if (!from || RegCreateKeyExA(root, kUserShellFolders, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                 &to, nullptr) != ERROR_SUCCESS) {
      return 1;
    }
    platform::win32::RegKeyHandle owned(to);
    for (const auto& name : from->ValueNames()) {
      const auto value = from->Value(name);
      if (!value || value->type != platform::kRegSz) continue;
      RegSetValueExA(to, name.c_str(), 0, REG_EXPAND_SZ,
                     reinterpret_cast<const BYTE*>(value->data.data()),
                     static_cast<DWORD>(value->data.size()));
      const std::string folder = value->data.substr(0, value->data.find('\0'));
      if (folder.size() > 3 && folder[1] == ':')
        SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);
    }
  }
  return 0;
}

// Windows shows HKEY_CLASSES_ROOT as the user's classes merged over the
// machine's; Wine's is the machine's alone. A user value that shadows a
// machine value of the same key would read differently through the two,
// so it is removed: the prefix then reads the same both ways.
void UnshadowKey(const std::string& path, int depth, int& removed) {
  if (depth > 32) return;
  platform::Win32Registry registry;
  const std::string user_path = "Software\\Classes" + path;
  const auto user =
      registry.Open(platform::RootKey::kCurrentUser, user_path, platform::Access::kRead);
  const auto machine = registry.Open(platform::RootKey::kLocalMachine, "Software\\Classes" + path,
                                     platform::Access::kRead);
  if (!user || !machine) return;
  HKEY writable = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, user_path.c_str(), 0, KEY_SET_VALUE, &writable) ==
      ERROR_SUCCESS) {
    platform::win32::RegKeyHandle owned(writable);
    for (const auto& name : user->ValueNames()) {
      if (machine->Value(name) && RegDeleteValueA(writable, name.c_str()) == ERROR_SUCCESS) {
        ++removed;
      }
    }
  }
  for (const auto& sub_key : user->SubKeyNames())
    UnshadowKey(path + "\\" + sub_key, depth + 1, removed);
}

int UnshadowClasses() {
  int removed = 0;
  UnshadowKey("", 0, removed);
  std::cout << removed << " shadowing values removed\n";
  return 0;
}

int Settle() {
  const int folders[] = {
      CSIDL_STARTUP,          CSIDL_COMMON_STARTUP, CSIDL_APPDATA,
      CSIDL_COMMON_APPDATA,   CSIDL_PERSONAL,       CSIDL_COMMON_DESKTOPDIRECTORY,
      CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAMS,       CSIDL_COMMON_PROGRAMS};
  for (int folder : folders) {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, folder | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
  }
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
  if (command == "write" && argc == 4) return WriteFile(argv[2], argv[3]);
  if (command == "copy" && argc == 4) return CopyFileA(argv[2], argv[3], FALSE) ? 0 : 1;
  if (command == "settle" && argc == 2) return Settle();
  if (command == "mirror-shell-folders" && argc == 2) return MirrorShellFolders();
  if (command == "unshadow-classes" && argc == 2) return UnshadowClasses();
  std::cerr << "usage: test-prepare shortcut LNK TARGET [ARGUMENTS] | attrib PATH LETTERS |\n"
               "       mkdir PATH | reg-string ROOT KEY NAME | write PATH TEXT |\n"
               "       copy FROM TO | settle | mirror-shell-folders | unshadow-classes\n";
  return 2;
}
