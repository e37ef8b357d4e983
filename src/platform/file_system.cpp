#include "platform/file_system.h"

#include "platform/text.h"

namespace tarnscan::platform {

bool FileSystem::FileExists(std::string_view path) const {
  const auto entry = Stat(path);
  return entry && !entry->IsDirectory();
}

bool FileSystem::FolderExists(std::string_view path) const {
  const auto entry = Stat(path);
  return entry && entry->IsDirectory();
}

std::vector<std::string> FileSystem::ReadLines(std::string_view path) const {
  auto file = OpenExclusive(path);
  LineSplitter lines;
  char buffer[4096];
  while (const size_t n = file->Read(buffer, sizeof buffer)) lines.Feed({buffer, n});
  return lines.Finish();
}

namespace {

bool OnlyWildcards(std::string_view mask) {
  return mask.find_first_not_of("*?") == std::string_view::npos;
}

// Iterative matcher with one backtrack point per star, so hostile masks
// cost O(mask * name).
bool MatchFrom(std::string_view mask, std::string_view name) {
  size_t m = 0;
  size_t n = 0;
  size_t star_m = std::string_view::npos;
  size_t star_n = 0;
  while (n < name.size() || m < mask.size()) {
    if (m < mask.size()) {
      const char pc = mask[m];
      if (pc == '*') {
        star_m = m++;
        star_n = n;
        continue;
      }
      if (n < name.size()) {
        if (pc == '?' || AsciiUpper(pc) == AsciiUpper(name[n])) {
          ++m;
          ++n;
          continue;
        }
        // "?" may match nothing before a dot, as DOS masks do.
        if (pc == '?' && name[n] == '.') {
          ++m;
          continue;
        }
      } else {
        // At the end of the name: trailing "?", "." and "*" match nothing
        // (DOS_QM, DOS_DOT and DOS_STAR of the file system's matcher).
        if (pc == '?' || pc == '*' || (pc == '.' && OnlyWildcards(mask.substr(m + 1)))) {
          ++m;
          continue;
        }
      }
    }
    if (star_m != std::string_view::npos && star_n < name.size()) {
      m = star_m + 1;
      n = ++star_n;
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

bool WildcardMatch(std::string_view mask, std::string_view name) {
  if (mask == "*" || mask == "*.*") return true;
  // "*." asks for names without an extension.
  if (!mask.empty() && mask.back() == '.' && mask.size() > 1 && mask[mask.size() - 2] == '*') {
    if (name.find('.') != std::string_view::npos && mask == "*.") return false;
  }
  return MatchFrom(mask, name);
}

std::pair<std::string_view, std::string_view> SplitPath(std::string_view path) {
  const size_t cut = path.rfind('\\');
  if (cut == std::string_view::npos) return {std::string_view{}, path};
  return {path.substr(0, cut), path.substr(cut + 1)};
}

}  // namespace tarnscan::platform
