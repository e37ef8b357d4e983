#include "platform/memory/system_folder.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/memory/reg_file.h"
#include "platform/offline/file_facts_offline.h"
#include "platform/offline/host_files.h"
#include "platform/offline/registry_views.h"
#include "platform/offline/shell_link.h"
#include "platform/text.h"

namespace fs = std::filesystem;

namespace tarnscan::platform {
namespace {

constexpr std::string_view kCodePageKey = "SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
constexpr std::string_view kInternationalKey = "Control Panel\\International";

std::vector<fs::path> RegFiles(const fs::path& dir) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir / "registry", error)) {
    if (entry.is_regular_file() && EqualsIgnoreCase(entry.path().extension().string(), ".reg")) {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<RegFileOp> ParseAll(const std::vector<fs::path>& files, const CodePage& code_page) {
  std::vector<RegFileOp> ops;
  for (const auto& file : files) {
    const std::string name = "registry/" + file.filename().string();
    try {
      auto parsed = ParseRegFile(ReadHostFile(file.string()), name, code_page);
      ops.insert(ops.end(), std::make_move_iterator(parsed.begin()),
                 std::make_move_iterator(parsed.end()));
    } catch (const RegFileError& error) {
      throw SystemFolderError(error.what());
    } catch (const FileError& error) {
      throw SystemFolderError(name + ": " + error.what());
    }
  }
  return ops;
}

}  // namespace

void ApplyRegFileOps(const std::vector<RegFileOp>& ops, MemoryRegistry& registry) {
  for (const auto& op : ops) {
    switch (op.kind) {
      case RegFileOp::Kind::kCreateKey:
        registry.CreateKey(op.root, op.key_path);
        break;
      case RegFileOp::Kind::kDeleteKey:
        registry.DeleteKey(op.root, op.key_path);
        break;
      case RegFileOp::Kind::kSetValue:
        registry.SetValue(op.root, op.key_path, op.value_name, RegistryValue{op.type, op.data});
        break;
      case RegFileOp::Kind::kDeleteValue:
        registry.DeleteValue(op.root, op.key_path, op.value_name);
        break;
    }
  }
}

namespace {

std::string ReadText(const Registry& registry, RootKey root, std::string_view path,
                     std::string_view name) {
  const auto key = registry.Open(root, path, Access::kRead);
  if (!key) return {};
  const auto value = key->Value(name);
  if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) return {};
  return value->data.substr(0, value->data.find('\0'));
}

// The code page is itself a registry value, so the files are read once to
// find it and again, converted with it, when it is not the default.
std::unique_ptr<CodePage> LoadRegistry(const fs::path& dir, MemoryRegistry& registry) {
  const auto files = RegFiles(dir);
  auto code_page = MakeCodePage(1252);
  auto ops = ParseAll(files, *code_page);
  ApplyRegFileOps(ops, registry);
  const std::string acp = ReadText(registry, RootKey::kLocalMachine, kCodePageKey, "ACP");
  const int id = std::atoi(acp.c_str());
  if (id > 0 && id != code_page->Id()) {
    code_page = MakeCodePage(id);
    registry = MemoryRegistry();
    ApplyRegFileOps(ParseAll(files, *code_page), registry);
  }
  return code_page;
}

DateFormat LoadDateFormat(const Registry& registry) {
  DateFormat format;
  auto take = [&](std::string_view name, std::string& field) {
    const std::string text = ReadText(registry, RootKey::kCurrentUser, kInternationalKey, name);
    if (!text.empty()) field = text;
  };
  take("sShortDate", format.short_date);
  take("sTimeFormat", format.long_time);
  take("s1159", format.am);
  take("s2359", format.pm);
  return format;
}

FileTime HostTimeToFileTime(fs::file_time_type time) {
  const auto system_time = std::chrono::file_clock::to_sys(time);
  const auto ticks = std::chrono::duration_cast<std::chrono::microseconds>(
                         system_time.time_since_epoch())
                         .count() *
                     10;
  constexpr int64_t kEpochDifference = 116444736000000000LL;  // 1601 to 1970
  return ticks + kEpochDifference;
}

void LoadDrive(const fs::path& root, const std::string& drive, MemoryFileSystem& files) {
  files.AddFolder(drive + "\\");
  std::error_code error;
  auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied,
                                             error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    const auto relative = fs::relative(it->path(), root, error).string();
    std::string windows = drive;
    for (auto part : Split(relative, '/')) windows += "\\" + std::string(part);
    const FileTime time = HostTimeToFileTime(it->last_write_time(error));
    if (it->is_directory(error)) {
      files.AddFolder(windows, kAttrDirectory, time);
    } else if (it->is_regular_file(error)) {
      files.AddHostFile(windows, it->path().string(), it->file_size(error), kAttrArchive, time);
    }
  }
}

std::string WindowsPathOf(std::string_view relative) {
  // "drive_c/WINDOWS/x.dll" -> "C:\WINDOWS\x.dll"
  if (relative.size() < 7 || !EqualsIgnoreCase(relative.substr(0, 6), "drive_")) return {};
  std::string path(1, AsciiUpper(relative[6]));
  path += ":";
  for (auto part : Split(relative.substr(7), '/')) {
    if (!part.empty()) path += "\\" + std::string(part);
  }
  if (path.size() == 2) path += "\\";
  return path;
}

uint32_t ParseAttributes(std::string_view letters, bool& ok) {
  uint32_t attributes = 0;
  ok = true;
  if (letters == "-") return attributes;
  for (char c : letters) {
    switch (AsciiUpper(c)) {
      case 'R': attributes |= kAttrReadOnly; break;
      case 'H': attributes |= kAttrHidden; break;
      case 'S': attributes |= kAttrSystem; break;
      case 'A': attributes |= kAttrArchive; break;
      default: ok = false;
    }
  }
  return attributes;
}

void ApplyFileFacts(const fs::path& table, MemoryFileSystem& files) {
  std::error_code error;
  if (!fs::exists(table, error)) return;
  const std::string text = ReadHostFile(table.string());
  const auto lines = Split(text, '\n');
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::string where = "files.tsv:" + std::to_string(i + 1) + ": ";
    const auto fields = Split(line, '\t');
    if (fields.size() != 3) throw SystemFolderError(where + "expected path, attributes, time");
    auto* node = files.Find(WindowsPathOf(fields[0]));
    if (node == nullptr) throw SystemFolderError(where + "no such file: " + std::string(fields[0]));
    bool ok = false;
    const uint32_t attributes = ParseAttributes(fields[1], ok);
    const auto time = ParseLocalTime(fields[2]);
    if (!ok) throw SystemFolderError(where + "attributes are letters of RHSA or -");
    if (!time) throw SystemFolderError(where + "time is YYYY-MM-DD HH:MM:SS");
    node->entry.attributes = attributes | (node->entry.attributes & kAttrDirectory);
    if (node->entry.attributes == 0) node->entry.attributes = kAttrNormal;
    node->entry.last_write = CalendarToFileTime(*time);
  }
}

// The scanned user's name under HKEY_USERS: a user key the .reg files
// wrote there, else the user's profile folder name.
std::string UserKeyName(const Registry& registry) {
  if (const auto users = registry.Open(RootKey::kUsers, "", Access::kRead)) {
    for (const auto& name : users->SubKeyNames()) {
      if (!EqualsIgnoreCase(name, ".DEFAULT") && !EndsWithIgnoreCase(name, "_Classes")) {
        return name;
      }
    }
  }
  const std::string app_data = ReadText(
      registry, RootKey::kCurrentUser,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "AppData");
  const auto parts = Split(app_data, '\\');
  return parts.size() >= 2 ? std::string(parts[parts.size() - 2]) : std::string();
}

LocalTime HostLocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour,
                   parts.tm_min,         parts.tm_sec,     0};
}

class SystemFolderClock final : public Clock {
 public:
  explicit SystemFolderClock(std::optional<LocalTime> as_of) : as_of_(as_of) {}
  LocalTime Now() const override { return as_of_ ? *as_of_ : HostLocalNow(); }
  LocalTime ToLocal(FileTime utc) const override { return FileTimeToCalendar(utc); }

 private:
  std::optional<LocalTime> as_of_;
};

}  // namespace

System LoadSystemFolder(const std::string& dir_text, const SystemFolderOptions& options) {
  const fs::path dir(dir_text);
  std::error_code error;
  if (!fs::is_directory(dir, error)) {
    throw SystemFolderError("no system folder at '" + dir_text + "'");
  }
  auto registry = std::make_unique<MemoryRegistry>();
  auto code_page = LoadRegistry(dir, *registry);
  auto files = std::make_unique<MemoryFileSystem>();
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory() && name.size() == 7 && EqualsIgnoreCase(name.substr(0, 6), "drive_")) {
      LoadDrive(entry.path(), WindowsPathOf(name).substr(0, 2), *files);
    }
  }
  ApplyFileFacts(dir / "files.tsv", *files);

  System system;
  system.date_format = LoadDateFormat(*registry);
  system.facts = std::make_unique<OfflineFileFacts>(*files, *registry, *code_page);
  system.shell = std::make_unique<OfflineShell>(*files, *code_page);
  system.clock = std::make_unique<SystemFolderClock>(options.as_of);
  const std::string user = UserKeyName(*registry);
  system.registry = std::make_unique<OfflineRegistryViews>(std::move(registry), user);
  system.files = std::move(files);
  system.code_page = std::move(code_page);
  return system;
}

}  // namespace tarnscan::platform
