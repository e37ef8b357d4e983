// test-backend-checks FOLDER: checks of the live backends that the report
// comparison does not reach, run inside Wine. FOLDER is an empty scratch
// folder. Prints one line per check: name TAB ok|fail TAB detail; the
// Linux side (backend_checks_test.cpp) wants every check, each ok.
#include <fcntl.h>
#include <io.h>

#include <functional>
#include <iostream>
#include <string>

#include "platform/registry_reader.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/handles.h"
#include "platform/win32/live_system.h"
#include "platform/win32/registry_win32.h"

using namespace tarnscan;
namespace win32 = tarnscan::platform::win32;

namespace {

void Report(const std::string& name, bool ok, const std::string& detail = "") {
  std::cout << name << '\t' << (ok ? "ok" : "fail") << '\t' << detail << '\n';
}

template <typename Body>
void Check(const std::string& name, Body body) {
  try {
    std::string detail;
    const bool ok = body(detail);
    Report(name, ok, detail);
  } catch (const std::exception& error) {
    Report(name, false, std::string("threw: ") + error.what());
  }
}

bool Throws(const std::function<void()>& body, const std::string& must_name, std::string& detail) {
  try {
    body();
  } catch (const platform::FileError& error) {
    detail = error.what();
    return detail.find(must_name) != std::string::npos;
  }
  detail = "no error";
  return false;
}

void FileSystemChecks(const platform::System& system, const std::string& folder) {
  const auto& files = *system.files;
  const std::string text = folder + "\\notes.txt";
  platform::SaveFileAtomically(text, "0123456789");
  platform::SaveFileAtomically(folder + "\\other.dat", "x");

  Check("open exclusive: a file another handle holds", [&](std::string& detail) {
    win32::FileHandle holder(CreateFileA(text.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    return holder.Valid() && Throws([&] { files.OpenExclusive(text); }, "notes.txt", detail);
  });
  Check("open exclusive: a folder", [&](std::string& detail) {
    return Throws([&] { files.OpenExclusive(folder); }, folder, detail);
  });
  Check("open exclusive: a missing file", [&](std::string& detail) {
    return Throws([&] { files.OpenExclusive(folder + "\\gone.txt"); }, "gone.txt", detail);
  });
  Check("open exclusive: the second open of a file fails", [&](std::string& detail) {
    const auto first = files.OpenExclusive(text);
    return Throws([&] { files.OpenExclusive(text); }, "notes.txt", detail);
  });
  Check("read: positions, short reads, past the end", [&](std::string& detail) {
    auto file = files.OpenExclusive(text);
    char buffer[8] = {};
    const size_t at_end = file->ReadAt(8, buffer, sizeof buffer);
    const size_t past_end = file->ReadAt(100, buffer, sizeof buffer);
    std::string head(4, '\0');
    file->Read(head.data(), 4);
    std::string rest(10, '\0');
    rest.resize(file->Read(rest.data(), rest.size()));
    detail = head + "|" + rest;
    return file->Size() == 10 && at_end == 2 && past_end == 0 && head == "0123" && rest == "456789";
  });
  Check("list: mask, no dot entries", [&](std::string& detail) {
    const auto all = files.List(folder, "*");
    const auto texts = files.List(folder + "\\", "*.txt");
    detail = std::to_string(all.size()) + " entries, " + std::to_string(texts.size()) + " .txt";
    return all.size() == 2 && texts.size() == 1 && texts[0].name == "notes.txt" &&
           texts[0].size == 10 && !texts[0].IsDirectory();
  });
  Check("list: a missing folder is empty",
        [&](std::string&) { return files.List(folder + "\\missing", "*.*").empty(); });
  Check("stat: roots, trailing backslashes, wildcards", [&](std::string& detail) {
    const auto root = files.Stat("C:\\");
    const auto with_slash = files.Stat(folder + "\\");
    const auto wild = files.Stat(folder + "\\*.txt");
    const auto file = files.Stat(text);
    detail = std::string(root ? "root " : "") + (with_slash ? "folder " : "") +
             (wild ? "wildcard " : "") + (file ? file->name : "");
    return root && root->IsDirectory() && with_slash && with_slash->IsDirectory() && !wild &&
           file && file->name == "notes.txt" && file->size == 10 && file->last_write > 0;
  });
}

// A key written through the wide functions, as programs store their
// settings, read back through the ANSI backend.
void RegistryChecks(const platform::System& system) {
  const wchar_t* key_path = L"Software\\TarnscanBackendChecks";
  RegDeleteTreeW(HKEY_CURRENT_USER, key_path);
  HKEY raw = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, key_path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw,
                  nullptr);
  win32::RegKeyHandle key(raw);
  const std::wstring greek = L"Caf\u00e9 \u03a9mega";  // é is in 1252, Ω is not
  RegSetValueExW(raw, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(greek.c_str()),
                 static_cast<DWORD>((greek.size() + 1) * 2));
  const wchar_t multi[] = L"one\0two\0";
  RegSetValueExW(raw, L"List", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
  const DWORD number = 0x12345678;
  RegSetValueExW(raw, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
  RegSetValueExW(raw, L"Empty", 0, REG_BINARY, nullptr, 0);
  const std::wstring long_name(300, L'n');
  RegSetValueExW(raw, long_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4);
  HKEY sub = nullptr;
  RegCreateKeyExW(raw, L"Sub\u00e9", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
  win32::RegKeyHandle sub_key(sub);

  const auto& code_page = *system.code_page;
  platform::RegistryReader reader(*system.registry);
  reader.SetRoot(platform::RootKey::kCurrentUser);
  Check("registry: strings converted as the code page converts them", [&](std::string& detail) {
    if (!reader.OpenKey("Software\\TarnscanBackendChecks")) return false;
    const std::string text = reader.ReadString("Text");
    const std::string expected = code_page.FromUtf16(std::u16string(greek.begin(), greek.end()));
    detail = text;
    return text == expected && text.substr(0, 4) == "Caf\xE9";
  });
  Check("registry: raw data keeps its NULs", [&](std::string& detail) {
    const auto list = reader.RawValue("List");
    const auto text = reader.RawValue("Text");
    detail = std::to_string(list ? list->data.size() : 0);
    return list && list->type == platform::kRegMultiSz &&
           list->data == std::string("one\0two\0\0", 9) && text && text->data.back() == '\0';
  });
  Check("registry: numbers, empty data, long names", [&](std::string& detail) {
    const auto empty = reader.RawValue("Empty");
    const auto names = reader.ValueNames();
    detail = std::to_string(names.size()) + " names";
    return reader.ReadInteger("Number") == 0x12345678 && empty && empty->data.empty() &&
           empty->type == platform::kRegBinary && names.size() == 5 &&
           reader.ValueExists(std::string(300, 'n'));
  });
  Check("registry: sub-keys in the code page, missing keys", [&](std::string& detail) {
    const auto subs = reader.SubKeyNames();
    detail = subs.empty() ? "" : subs[0];
    return subs.size() == 1 && subs[0] == code_page.FromUtf16(u"Sub\u00e9") &&
           !reader.OpenKey("\\Software\\TarnscanBackendChecks\\Missing") &&
           reader.CurrentPath() == "Software\\TarnscanBackendChecks";
  });
  Check("registry: the wrong type is an error", [&](std::string& detail) {
    try {
      reader.ReadString("Number");
    } catch (const platform::RegistryError& error) {
      detail = error.what();
      return detail == "Invalid data type for 'Number'";
    }
    return false;
  });
  reader.CloseKey();
  sub_key.Reset();
  key.Reset();
  RegDeleteTreeW(HKEY_CURRENT_USER, key_path);
}

void ShellChecks(const platform::System& system, const std::string& folder) {
  Check("shell: a file that is no shortcut resolves to nothing", [&](std::string& detail) {
    platform::SaveFileAtomically(folder + "\\fake.lnk", "not a shortcut");
    detail = system.shell->ResolveShortcut(folder + "\\fake.lnk");
    return detail.empty();
  });
  Check("shell: type name of a file, none for a missing one", [&](std::string& detail) {
    const auto known = system.facts->ShellTypeName(folder + "\\notes.txt");
    const auto missing = system.facts->ShellTypeName(folder + "\\gone.txt");
    detail = known.value_or("(none)");
    return known && !known->empty() && !missing;
  });
  Check("version: none for a text file or a missing one", [&](std::string&) {
    return !system.facts->LoadVersion(folder + "\\notes.txt") &&
           !system.facts->LoadVersion(folder + "\\gone.txt");
  });
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 2) {
    std::cerr << "usage: test-backend-checks EMPTY_FOLDER\n";
    return 2;
  }
  const platform::System system = platform::MakeLiveSystem();
  const std::string folder = argv[1];
  FileSystemChecks(system, folder);
  RegistryChecks(system);
  ShellChecks(system, folder);
  return 0;
}
