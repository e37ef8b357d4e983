#include "main/extract_file.h"

#include <optional>

#include "platform/text.h"

namespace tarnscan {
namespace {

bool IsAbsolute(std::string_view name) { return name.size() >= 3 && name.substr(1, 2) == ":\\"; }

// The character at 1-based position Length(T) - 3, position 1 when T is
// shorter than four characters.
bool HasDotBeforeExtension(const std::string& t) {
  if (t.empty()) return false;
  const size_t index = t.size() >= 4 ? t.size() - 4 : 0;
  return t[index] == '.';
}

// Takes the text between `mark` (the first character of `s`) and the next
// `mark`; `s` keeps what follows. nullopt when there is no closing mark.
std::optional<std::string> TakeEnclosed(std::string& s, char mark) {
  const size_t close = s.find(mark, 1);
  if (close == std::string::npos) return std::nullopt;
  std::string inside = s.substr(1, close - 1);
  s.erase(0, close + 1);
  return inside;
}

// Steps 2 and 3: a "%name%" or "\name\" prefix; SystemRoot becomes WinDir.
// Returns false when the closing mark is missing.
bool ExpandPrefix(const ScanContext& context, char mark, std::string& s, std::string& t) {
  if (s.empty() || s.front() != mark) return true;
  auto name = TakeEnclosed(s, mark);
  if (!name) return false;
  t = *name;
  if (platform::LowerCase(t) == "systemroot") {
    t = context.env.win_dir + "\\" + s;
    s = t;
  }
  return true;
}

// Step 7: the text up to the first dot that is not inside a folder name,
// followed by that dot and three characters.
std::string CutAfterExtension(std::string s) {
  std::string t;
  size_t i = 0;
  while (i < s.size() && s[i] != '.') {
    t += s[i++];
    if (i < s.size() && s[i] == '.' && s.find('\\', i) != std::string::npos) t += s[i++];
  }
  t += s.substr(i, 4);
  return t;
}

// Step 8: drops trailing words, then tries the three executable extensions.
std::string ProbeExecutable(const ScanContext& context, std::string t) {
  std::string s;
  // The walk stops at the last backslash; a name without one is walked to
  // its first character rather than forever.
  while (t.size() >= 2 && t[t.size() - 2] != '\\') {
    s.insert(s.begin(), t.back());
    t.pop_back();
    if (t.size() >= 2 && t[t.size() - 2] == ' ') {
      s.clear();
      t.resize(t.size() - 2);
    }
  }
  const std::string candidate = t + s;
  for (const char* extension : {".exe", ".com", ".dll"}) {
    if (RegFileExists(context, candidate + extension)) return candidate + extension;
  }
  return {};
}

std::string CompleteFolder(const ScanContext& context, const std::string& t) {
  if (t.size() >= 3 && t.substr(1, 2) == ":\\") return t;
  for (const std::string* folder : {&context.env.win_dir, &context.env.sys_dir}) {
    const std::string candidate = *folder + "\\" + t;
    if (RegFileExists(context, candidate)) return candidate;
  }
  return t;
}

std::string CollapseDoubleBackslashes(const std::string& t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) {
    out += t[i];
    if (t[i] == '\\' && i + 1 < t.size() && t[i + 1] == '\\') ++i;
  }
  return out;
}

std::string WithoutPrefix(std::string_view data) { return std::string(data.substr(1)); }

}  // namespace

bool RegFileExists(const ScanContext& context, std::string_view name) {
  if (name.empty()) return false;
  std::string path(name);
  if (!IsAbsolute(path)) {
    if (context.current_folder.empty()) return false;
    path = path.front() == '\\' ? context.current_folder.substr(0, 2) + path
                                : context.current_folder + "\\" + path;
  }
  return context.system.files->FileExists(path);
}

std::string ExtractFileFromRegData(const ScanContext& context, std::string_view data) {
  if (data.empty()) return std::string(kRegDataMissing);
  std::string s(data);
  std::string t(data);
  if (!ExpandPrefix(context, '%', s, t)) return WithoutPrefix(data);
  if (!ExpandPrefix(context, '\\', s, t)) return WithoutPrefix(s);
  if (!s.empty() && s.front() == '"') {
    auto inside = TakeEnclosed(s, '"');
    if (!inside) return WithoutPrefix(s);
    t = *inside;
    s = t;
  }
  if (s.substr(0, 6) == "res://") {
    t = s.substr(6);
    s = t;
  }
  if (!t.empty() && !HasDotBeforeExtension(t)) {
    t = CutAfterExtension(s);
    if (!HasDotBeforeExtension(t)) t = ProbeExecutable(context, t);
  }
  return CollapseDoubleBackslashes(CompleteFolder(context, t));
}

}  // namespace tarnscan
