#include "addon/addon_runner.h"

#include <algorithm>
#include <array>

#include "addon/file_checks.h"
#include "addon/path_macros.h"
#include "addon/registry_checks.h"
#include "folders/file_line.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace tarnscan {
namespace {

using platform::RootKey;

constexpr char kCtrlZ = '\x1A';
constexpr size_t kFileFieldsStart = 5;    // "FILE" and its separator
constexpr size_t kRegKeyFieldsStart = 7;  // "REGKEY" and its separator
constexpr size_t kOutputTextStart = 7;    // "OUTPUT" and its separator
constexpr int kFileFieldCount = 6;

bool HasKeyword(std::string_view line, std::string_view keyword) {
  return line.size() >= keyword.size() &&
         platform::EqualsIgnoreCase(line.substr(0, keyword.size()), keyword);
}

// Reads a line field by field from a starting position. A field ends at
// its terminator or, when the line is malformed, at the end of the line.
class FieldReader {
 public:
  FieldReader(std::string_view line, size_t start)
      : line_(line), pos_(std::min(start, line.size())) {}

  bool AtEnd() const { return pos_ >= line_.size(); }
  bool Ahead(char c) const { return line_.find(c, pos_) != std::string_view::npos; }

  // The characters up to the next `terminator`; reading goes on after it.
  std::string_view Next(char terminator, bool* terminated = nullptr) {
    const size_t end = line_.find(terminator, pos_);
    const bool found = end != std::string_view::npos;
    const size_t stop = found ? end : line_.size();
    const std::string_view field = line_.substr(pos_, stop - pos_);
    pos_ = found ? stop + 1 : stop;
    if (terminated != nullptr) *terminated = found;
    return field;
  }

 private:
  std::string_view line_;
  size_t pos_;
};

int32_t FieldNumber(std::string_view field) {
  return field.empty() ? -1 : ParseAddOnInteger(field);
}

void StoreFileField(const Environment& env, int number, std::string_view field, FileCheck& values) {
  switch (number) {
    case 1:
      values.folder = ExpandPathMacros(env, field);
      break;
    case 2:
      values.mask = field.empty() ? "*.*" : std::string(field);
      break;
    case 3:
      values.days = FieldNumber(field);
      break;
    case 4:
      values.size = FieldNumber(field);
      break;
    case 5:
      values.digest = std::string(field);
      break;
    default:
      // The sixth field and any beyond it: the last one is the option, and
      // "SUBFOLDERS" among them searches the folders below.
      values.option = std::string(field);
      if (platform::UpperCase(field) == "SUBFOLDERS") values.subfolders = true;
      break;
  }
}

// Fields a line does not reach keep the values of the file's previous
// FILE line. A field that runs to the end of the line without its ";"
// still counts, except a single character after the last ";" and text
// after the sixth field.
void ReadFileFields(const Environment& env, std::string_view line, FileCheck& values) {
  FieldReader fields(line, kFileFieldsStart);
  for (int number = 1; !fields.AtEnd(); ++number) {
    bool terminated = false;
    const std::string_view field = fields.Next(';', &terminated);
    if (!terminated && (field.size() == 1 || number > kFileFieldCount)) break;
    StoreFileField(env, std::min(number, kFileFieldCount), field, values);
  }
}

std::string ParametersText(const FileCheck& values) {
  std::string text;
  if (!values.digest.empty()) text += "MD5 of " + values.digest + "; ";
  if (values.days >= 0) text += "Older than " + std::to_string(values.days) + " days; ";
  if (values.size >= 0) text += "Size of " + std::to_string(values.size) + "; ";
  if (values.subfolders) text += "Include SubFolders";
  return text;
}

void RunFileLine(ScanContext& context, std::string_view line, FileCheck& values) {
  values.subfolders = false;
  ReadFileFields(context.env, line, values);
  // The backslash goes in even after "C:\": the echo shows "C:\\*.*".
  context.log.Add("DIR  " + values.folder + "\\" + values.mask +
                  "  (Parameters = " + ParametersText(values) + ")");
  CheckFiles(context, values);
  context.log.Add("");
}

struct RootRow {
  std::string_view name;
  RootKey root;
};

constexpr std::array<RootRow, 7> kRoots{{
    {"HKEY_CLASSES_ROOT", RootKey::kClassesRoot},
    {"HKEY_LOCAL_MACHINE", RootKey::kLocalMachine},
    {"HKEY_CURRENT_USER", RootKey::kCurrentUser},
    {"HKEY_USERS", RootKey::kUsers},
    {"HKEY_CURRENT_CONFIG", RootKey::kCurrentConfig},
    {"HKEY_PERFORMANCE_DATA", RootKey::kPerformanceData},
    {"HKEY_DYN_DATA", RootKey::kDynData},
}};

// Only the full names count; "HKCU" and the like fall to HKEY_LOCAL_MACHINE.
const RootRow& FindRoot(std::string_view name) {
  for (const RootRow& row : kRoots) {
    if (platform::EqualsIgnoreCase(name, row.name)) return row;
  }
  return kRoots[1];
}

void RunRegKeyLine(ScanContext& context, std::string_view line) {
  FieldReader fields(line, kRegKeyFieldsStart);
  std::string_view root_name;
  std::string_view key_path;
  if (fields.Ahead('\\')) {
    root_name = fields.Next('\\');
    key_path = fields.Next(';');
  } else {
    // A line without any backslash names a root alone ("HKEY_USERS;;"):
    // its name ends at the first ";" and the root itself is dumped.
    root_name = fields.Next(';');
  }
  const std::string option = platform::UpperCase(fields.Next(';'));
  const RootRow& root = FindRoot(root_name);
  CheckRegKey(context, root.root, root.name, key_path, option);
  context.log.Add("");
}

std::string ReadAddOnFile(const ScanContext& context, const std::string& name) {
  const std::string path = WithBackslash(context.plugins_folder) + name;
  if (context.plugin_files == nullptr) {
    throw platform::FileError("Cannot open file \"" + path + "\". File not found");
  }
  const auto file = context.plugin_files->OpenExclusive(path);
  std::string bytes;
  char block[4096];
  for (size_t n; (n = file->Read(block, sizeof block)) > 0;) bytes.append(block, n);
  return bytes;
}

}  // namespace

IntegerConversionError::IntegerConversionError(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value") {}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char upper = platform::AsciiUpper(c);
  if (upper >= 'A' && upper <= 'F') return upper - 'A' + 10;
  return -1;
}

// Digits of `base` from `digits` to the end; at least one, and no more
// than `limit`. Returns -1 on failure.
int64_t ParseDigits(std::string_view digits, int base, int64_t limit) {
  if (digits.empty()) return -1;
  int64_t value = 0;
  for (const char c : digits) {
    const int digit = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (digit < 0) return -1;
    value = value * base + digit;
    if (value > limit) return -1;
  }
  return value;
}

}  // namespace

int32_t ParseAddOnInteger(std::string_view text) {
  constexpr int64_t kMax = 2147483647;
  std::string_view rest = text;
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  int64_t value = -1;
  if (!rest.empty() && rest.front() == '$') {
    value = ParseDigits(rest.substr(1), 16, kMax);
  } else if (rest.size() >= 2 && rest[0] == '0' && platform::AsciiUpper(rest[1]) == 'X') {
    value = ParseDigits(rest.substr(2), 16, kMax);
  } else {
    const bool negative = !rest.empty() && rest.front() == '-';
    if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) rest.remove_prefix(1);
    const int64_t magnitude = ParseDigits(rest, 10, negative ? kMax + 1 : kMax);
    if (magnitude >= 0) return static_cast<int32_t>(negative ? -magnitude : magnitude);
  }
  if (value < 0) throw IntegerConversionError(text);
  return static_cast<int32_t>(value);
}

std::vector<std::string> SplitAddOnLines(std::string_view bytes) {
  bytes = bytes.substr(0, bytes.find(kCtrlZ));
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    const size_t cr = bytes.find('\r', start);
    if (cr == std::string_view::npos) {
      lines.emplace_back(bytes.substr(start));
      break;
    }
    lines.emplace_back(bytes.substr(start, cr - start));
    start = cr + 1;
    if (start < bytes.size() && bytes[start] == '\n') ++start;
  }
  return lines;
}

void InterpretAddOnLines(ScanContext& context, const std::vector<std::string>& lines) {
  FileCheck values;
  for (const std::string& line : lines) {
    if (HasKeyword(line, "FILE")) {
      RunFileLine(context, line, values);
    } else if (HasKeyword(line, "REGKEY")) {
      RunRegKeyLine(context, line);
    } else if (HasKeyword(line, "OUTPUT")) {
      context.log.Add(line.size() > kOutputTextStart ? line.substr(kOutputTextStart) : "");
    }
  }
}

void RunAddOns(ScanContext& context) {
  for (const AddOnItem& item : context.options.AddOns()) {
    if (!item.checked) continue;
    const auto lines = SplitAddOnLines(ReadAddOnFile(context, item.name));
    context.log.Add(">>>>Output for AddOn file " + item.name + "<<<<");
    InterpretAddOnLines(context, lines);
  }
}

}  // namespace tarnscan
