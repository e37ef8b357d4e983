#include "platform/offline/image_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/offline/hive.h"
#include "platform/offline/host_input_file.h"

namespace tarnscan::platform {
namespace {

// FILETIME of the Unix epoch.
constexpr int64_t kUnixEpoch = 116444736000000000LL;
// Samba's DOS info: valid-fields flag for the attribute word.
constexpr uint32_t kDosInfoAttrib = 0x1;

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const size_t len = lead < 0x80         ? 1
                       : (lead >> 5) == 6  ? 2
                       : (lead >> 4) == 14 ? 3
                       : (lead >> 3) == 30 ? 4
                                           : 0;
    if (len == 0 || i + len > text.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += len;
  }
  return true;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Drive letter and components of "C:\a\b" ("/" also separates, doubled
// separators are ignored); nullopt without a drive.
std::optional<std::pair<char, std::vector<std::string_view>>> SplitWindowsPath(
    std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return std::nullopt;
  const char letter = AsciiUpper(path[0]);
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  std::vector<std::string_view> parts;
  size_t start = 2;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return std::make_pair(letter, parts);
}

std::u16string Upper(std::u16string text) {
  for (auto& c : text) c = UpcaseUnit(c);
  return text;
}

FileTime ToFileTime(const struct timespec& t) {
  return kUnixEpoch + static_cast<int64_t>(t.tv_sec) * 10000000LL + t.tv_nsec / 100;
}

}  // namespace

std::optional<uint32_t> ParseDosAttrib(std::string_view value) {
  // Samba 3 wrote the attribute word as hexadecimal text.
  if (value.size() >= 3 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    uint32_t attributes = 0;
    size_t i = 2;
    for (; i < value.size() && std::isxdigit(static_cast<unsigned char>(value[i])); ++i) {
      const char c = AsciiLower(value[i]);
      attributes = attributes * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    if (i == 2) return std::nullopt;
    return attributes;
  }
  // Samba 4's NDR form: version (twice), then for versions 3 to 5 the
  // valid-fields word and the attribute word; version 1 holds the word
  // right after the versions.
  auto le32 = [&](size_t at) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | static_cast<unsigned char>(value[at + k]);
    return v;
  };
  if (value.size() < 8) return std::nullopt;
  const unsigned version =
      static_cast<unsigned char>(value[0]) | (static_cast<unsigned char>(value[1]) << 8);
  if (version == 1) return le32(4);
  if (version >= 3 && version <= 5 && value.size() >= 12) {
    if ((le32(4) & kDosInfoAttrib) == 0) return std::nullopt;
    return le32(8);
  }
  return std::nullopt;
}

std::optional<uint32_t> HostDosAttributes(const std::string& host_path) {
  unsigned char ntfs[4];
  if (getxattr(host_path.c_str(), "system.ntfs_attrib_be", ntfs, sizeof ntfs) == 4) {
    return (static_cast<uint32_t>(ntfs[0]) << 24) | (static_cast<uint32_t>(ntfs[1]) << 16) |
           (static_cast<uint32_t>(ntfs[2]) << 8) | ntfs[3];
  }
  char samba[256];
  const ssize_t n = getxattr(host_path.c_str(), "user.DOSATTRIB", samba, sizeof samba);
  if (n > 0) return ParseDosAttrib(std::string_view(samba, static_cast<size_t>(n)));
  return std::nullopt;
}

ImageFileSystem::ImageFileSystem(const CodePage& code_page) : code_page_(code_page) {}

void ImageFileSystem::AddDrive(char letter, std::string host_root) {
  while (host_root.size() > 1 && host_root.back() == '/') host_root.pop_back();
  drives_[AsciiUpper(letter)] = std::move(host_root);
}

const ImageFileSystem::Listing& ImageFileSystem::ListHost(const std::string& host_dir) const {
  const auto cached = listings_.find(host_dir);
  if (cached != listings_.end()) return cached->second;
  Listing listing;
  if (DIR* dir = opendir(host_dir.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      // Host names are UTF-8; a name that is not is taken as 8-bit text.
      const std::u16string wide =
          IsAscii(name) || !IsValidUtf8(name) ? code_page_.ToUtf16(name) : Utf8ToUtf16(name);
      std::string ansi = IsAscii(name) ? name : code_page_.FromUtf16(wide);
      listing.names.push_back({name, std::move(ansi), Upper(wide)});
    }
    closedir(dir);
  }
  // NTFS keeps a folder sorted by upper-cased name.
  std::sort(listing.names.begin(), listing.names.end(),
            [](const Name& a, const Name& b) { return a.upper < b.upper; });
  return listings_.emplace(host_dir, std::move(listing)).first->second;
}

std::optional<std::string> ImageFileSystem::HostPath(std::string_view path) const {
  const auto split = SplitWindowsPath(path);
  if (!split) return std::nullopt;
  const auto drive = drives_.find(split->first);
  if (drive == drives_.end()) return std::nullopt;
  std::string host = drive->second;
  std::lock_guard lock(mutex_);
  for (auto part : split->second) {
    const Listing& listing = ListHost(host);
    const std::u16string upper = Upper(code_page_.ToUtf16(part));
    const auto it =
        std::lower_bound(listing.names.begin(), listing.names.end(), upper,
                         [](const Name& n, const std::u16string& key) { return n.upper < key; });
    if (it == listing.names.end() || it->upper != upper) return std::nullopt;
    host += "/" + it->host;
  }
  return host;
}

std::optional<FileEntry> ImageFileSystem::EntryOf(const std::string& host_path,
                                                  std::string name) const {
  struct stat facts {};
  if (stat(host_path.c_str(), &facts) != 0) return std::nullopt;
  FileEntry entry;
  entry.name = std::move(name);
  const bool folder = S_ISDIR(facts.st_mode);
  entry.size = folder ? 0 : static_cast<uint64_t>(facts.st_size);
  entry.last_write = ToFileTime(facts.st_mtim);
  if (const auto dos = HostDosAttributes(host_path)) {
    entry.attributes = *dos & ~kAttrDirectory;
  } else {
    // Without Windows' own word: files as Windows creates them (archive),
    // read-only where nobody may write.
    entry.attributes = folder ? 0u : static_cast<uint32_t>(kAttrArchive);
    if ((facts.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) entry.attributes |= kAttrReadOnly;
  }
  if (folder) entry.attributes |= kAttrDirectory;
  if (entry.attributes == 0) entry.attributes = kAttrNormal;
  return entry;
}

std::vector<FileEntry> ImageFileSystem::List(std::string_view folder, std::string_view mask) const {
  std::vector<FileEntry> entries;
  const auto host = HostPath(folder);
  if (!host) return entries;
  std::vector<Name> names;
  {
    std::lock_guard lock(mutex_);
    names = ListHost(*host).names;
  }
  for (const auto& name : names) {
    if (!WildcardMatch(mask, name.ansi)) continue;
    if (auto entry = EntryOf(*host + "/" + name.host, name.ansi)) {
      entries.push_back(std::move(*entry));
    }
  }
  return entries;
}

std::optional<FileEntry> ImageFileSystem::Stat(std::string_view path) const {
  const auto host = HostPath(path);
  if (!host) return std::nullopt;
  const auto [folder, name] = SplitPath(path);
  (void)folder;
  std::string ansi(name);
  if (const size_t slash = host->rfind('/'); slash != std::string::npos && !name.empty()) {
    // The name as stored, not as asked.
    const std::string host_name = host->substr(slash + 1);
    ansi = IsAscii(host_name) || !IsValidUtf8(host_name)
               ? host_name
               : code_page_.FromUtf16(Utf8ToUtf16(host_name));
  }
  return EntryOf(*host, ansi);
}

std::unique_ptr<InputFile> ImageFileSystem::OpenExclusive(std::string_view path) const {
  const auto host = HostPath(path);
  if (!host) throw FileError("Cannot open file \"" + std::string(path) + "\". File not found");
  const int fd = OpenForReading(*host);
  struct stat facts {};
  if (fd < 0 || fstat(fd, &facts) != 0 || S_ISDIR(facts.st_mode)) {
    if (fd >= 0) close(fd);
    throw FileError("Cannot open file \"" + std::string(path) + "\". Access is denied");
  }
  return std::make_unique<HostInputFile>(fd, static_cast<uint64_t>(facts.st_size));
}

}  // namespace tarnscan::platform
