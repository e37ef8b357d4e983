#include "platform/offline/pe_version.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr uint16_t kRtVersion = 16;
// The resource compiler's VS_VERSION_INFO: Windows looks for this number
// only, so a version resource that got a name instead is not found.
constexpr uint16_t kVersionInfoId = 1;
// NE resource tables mark numbered types and names with the high bit.
constexpr uint16_t kNeIdFlag = 0x8000;
// wLength is a 16-bit count, so no version block is longer than this.
constexpr size_t kMaxVersionBytes = 0xFFFF;
constexpr size_t kFixedInfoSize = 13 * 4;
// More path components or siblings than any real resource holds.
constexpr size_t kMaxPathComponents = 16;
constexpr size_t kMaxSiblings = kMaxVersionBytes / 4 + 1;

std::optional<std::string> ReadBytes(const ByteSource& file, uint64_t offset, size_t count) {
  std::string bytes;
  if (!file.ReadExact(offset, count, bytes)) return std::nullopt;
  return bytes;
}

// Where the resource bytes lie in the file.
struct Location {
  uint64_t offset = 0;
  uint64_t size = 0;
};

// ---------------------------------------------------------------------------
// PE images

struct Section {
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_offset = 0;
};

class PeImage {
 public:
  PeImage(const ByteSource& file, std::vector<Section> sections)
      : file_(file), sections_(std::move(sections)) {}

  // As the loader maps a file opened as data: the section whose raw data
  // covers the address.
  std::optional<uint64_t> RvaToOffset(uint32_t rva) const {
    for (const Section& s : sections_) {
      if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size) {
        return static_cast<uint64_t>(s.raw_offset) + (rva - s.virtual_address);
      }
    }
    return std::nullopt;
  }

  const ByteSource& file() const { return file_; }

 private:
  const ByteSource& file_;
  std::vector<Section> sections_;
};

// One entry of an IMAGE_RESOURCE_DIRECTORY.
struct ResourceEntry {
  uint32_t name = 0;
  uint32_t offset = 0;
  bool IsNamed() const { return (name & 0x80000000u) != 0; }
  bool IsDirectory() const { return (offset & 0x80000000u) != 0; }
  uint32_t Target() const { return offset & 0x7FFFFFFFu; }
};

std::optional<std::vector<ResourceEntry>> ReadResourceDirectory(const ByteSource& file,
                                                                uint64_t offset) {
  const auto header = ReadBytes(file, offset, 16);
  if (!header) return std::nullopt;
  const size_t count = static_cast<size_t>(Le16(*header, 12)) + Le16(*header, 14);
  const auto table = ReadBytes(file, offset + 16, count * 8);
  if (!table) return std::nullopt;
  std::vector<ResourceEntry> entries(count);
  for (size_t i = 0; i < count; ++i) {
    entries[i] = {Le32(*table, i * 8), Le32(*table, i * 8 + 4)};
  }
  return entries;
}

// The sub-directory of the numbered entry `id`.
std::optional<uint64_t> FindSubdirectory(const ByteSource& file, uint64_t root, uint64_t dir,
                                         uint16_t id) {
  const auto entries = ReadResourceDirectory(file, dir);
  if (!entries) return std::nullopt;
  for (const ResourceEntry& e : *entries) {
    if (e.IsNamed() || (e.name & 0xFFFF) != id) continue;
    if (!e.IsDirectory()) return std::nullopt;
    return root + e.Target();
  }
  return std::nullopt;
}

// The language the loader picks for a neutral lookup (FindResource):
// neutral, the default languages, then the user's UI language, then
// English, then the first the file lists. Offline the user's language is
// not known; English stands in for it, as on most systems a helper sees.
const ResourceEntry& PreferredLanguage(const std::vector<ResourceEntry>& entries) {
  for (uint16_t wanted : {0x0000, 0x0400, 0x0800, 0x0409, 0x0009}) {
    for (const ResourceEntry& e : entries) {
      if (!e.IsNamed() && (e.name & 0xFFFF) == wanted) return e;
    }
  }
  return entries.front();
}

std::optional<Location> FindPeResource(const PeImage& image, uint32_t directory_rva) {
  const ByteSource& file = image.file();
  const auto root = image.RvaToOffset(directory_rva);
  if (!root) return std::nullopt;
  const auto names = FindSubdirectory(file, *root, *root, kRtVersion);
  if (!names) return std::nullopt;
  const auto languages = FindSubdirectory(file, *root, *names, kVersionInfoId);
  if (!languages) return std::nullopt;
  const auto entries = ReadResourceDirectory(file, *languages);
  if (!entries || entries->empty()) return std::nullopt;
  const ResourceEntry& chosen = PreferredLanguage(*entries);
  if (chosen.IsDirectory()) return std::nullopt;
  const auto data_entry = ReadBytes(file, *root + chosen.Target(), 16);
  if (!data_entry) return std::nullopt;
  const auto offset = image.RvaToOffset(Le32(*data_entry, 0));
  if (!offset) return std::nullopt;
  return Location{*offset, Le32(*data_entry, 4)};
}

std::optional<Location> LocatePeVersion(const ByteSource& file, uint64_t nt_offset) {
  // Signature, IMAGE_FILE_HEADER and the optional header's magic.
  const auto header = ReadBytes(file, nt_offset, 26);
  if (!header || header->compare(0, 4, std::string_view("PE\0\0", 4)) != 0) return std::nullopt;
  const uint16_t section_count = Le16(*header, 6);
  const uint16_t optional_size = Le16(*header, 20);
  const uint16_t magic = Le16(*header, 24);
  const uint64_t optional = nt_offset + 24;
  uint64_t directories = 0;
  uint64_t directory_count_at = 0;
  if (magic == 0x10B) {  // PE32
    directory_count_at = optional + 92;
    directories = optional + 96;
  } else if (magic == 0x20B) {  // PE32+
    directory_count_at = optional + 108;
    directories = optional + 112;
  } else {
    return std::nullopt;
  }
  const auto count = ReadBytes(file, directory_count_at, 4);
  constexpr uint32_t kResourceDirectory = 2;
  if (!count || Le32(*count, 0) <= kResourceDirectory) return std::nullopt;
  const auto resource = ReadBytes(file, directories + kResourceDirectory * 8, 8);
  if (!resource || Le32(*resource, 0) == 0 || Le32(*resource, 4) == 0) return std::nullopt;

  const auto table = ReadBytes(file, optional + optional_size, size_t{section_count} * 40);
  if (!table) return std::nullopt;
  std::vector<Section> sections(section_count);
  for (size_t i = 0; i < section_count; ++i) {
    const size_t at = i * 40;
    sections[i] = {Le32(*table, at + 12), Le32(*table, at + 16), Le32(*table, at + 20)};
  }
  return FindPeResource(PeImage(file, std::move(sections)), Le32(*resource, 0));
}

// ---------------------------------------------------------------------------
// NE modules

std::optional<Location> LocateNeVersion(const ByteSource& file, uint64_t ne_offset) {
  const auto header = ReadBytes(file, ne_offset, 0x40);
  if (!header || (*header)[0] != 'N' || (*header)[1] != 'E') return std::nullopt;
  const uint16_t table_at = Le16(*header, 0x24);  // resource table
  const uint16_t names_at = Le16(*header, 0x26);  // resident names, right after it
  if (names_at <= table_at) return std::nullopt;
  const auto table = ReadBytes(file, ne_offset + table_at, names_at - table_at);
  if (!table || table->size() < 2) return std::nullopt;
  const uint16_t shift = Le16(*table, 0);
  // Offsets are 16-bit units of 2^shift bytes; larger shifts address
  // nothing a file can hold.
  if (shift > 24) return std::nullopt;

  size_t at = 2;
  while (at + 8 <= table->size()) {
    const uint16_t type = Le16(*table, at);
    if (type == 0) break;
    const uint16_t count = Le16(*table, at + 2);
    at += 8;
    for (uint16_t i = 0; i < count; ++i, at += 12) {
      if (at + 12 > table->size()) return std::nullopt;
      if (type != (kRtVersion | kNeIdFlag)) continue;
      if (Le16(*table, at + 6) != (kVersionInfoId | kNeIdFlag)) continue;
      return Location{uint64_t{Le16(*table, at)} << shift, uint64_t{Le16(*table, at + 2)} << shift};
    }
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Version blocks, walked as VerQueryValueA does.

size_t Align4(size_t offset) { return (offset + 3) & ~size_t{3}; }

struct Block {
  size_t begin = 0;
  size_t end = 0;  // begin + wLength, cut to the parent's end
  uint16_t value_length = 0;
  size_t key_begin = 0;
  size_t key_units = 0;  // characters before the key's NUL
  size_t value_begin = 0;
  size_t value_end = 0;
  size_t children_begin = 0;
};

class ParsedVersionData final : public VersionData {
 public:
  ParsedVersionData(std::string bytes, const CodePage& code_page)
      : bytes_(std::move(bytes)), code_page_(code_page) {
    // Win32 blocks have the wType word where 16-bit blocks start their
    // key, and a key starts with a printable character.
    wide_ = bytes_.size() > 4 && static_cast<unsigned char>(bytes_[4]) < 0x20;
  }

  std::optional<FixedFileInfo> Fixed() const override {
    const auto root = Root();
    if (!root || root->value_length == 0) return std::nullopt;
    if (root->value_begin + kFixedInfoSize > root->end) return std::nullopt;
    const std::string_view bytes(bytes_);
    uint32_t words[13];
    for (size_t i = 0; i < 13; ++i) words[i] = Le32(bytes, root->value_begin + i * 4);
    // The signature is not checked: Windows' version functions hand the
    // block over whatever it holds.
    return FixedFileInfo{words[0], words[1], words[2], words[3],  words[4],  words[5], words[6],
                         words[7], words[8], words[9], words[10], words[11], words[12]};
  }

  std::optional<std::vector<uint32_t>> Translations() const override {
    const auto block = Query("\\VarFileInfo\\Translation");
    if (!block) return std::nullopt;
    std::vector<uint32_t> entries;
    for (size_t at = block->value_begin; at + 4 <= block->value_end; at += 4) {
      entries.push_back(Le32(bytes_, at));
    }
    return entries;
  }

  std::optional<std::string> String(std::string_view sub_block) const override {
    const auto block = Query(sub_block);
    if (!block) return std::nullopt;
    if (block->value_length == 0) return std::string();
    // The text runs to its NUL, as the A function converts it; the block's
    // end stands in for a missing NUL.
    if (!wide_) {
      const std::string_view text(bytes_.data() + block->value_begin,
                                  block->end - block->value_begin);
      return std::string(text.substr(0, text.find('\0')));
    }
    std::u16string text;
    for (size_t at = block->value_begin; at + 2 <= block->end; at += 2) {
      const char16_t c = Le16(bytes_, at);
      if (c == 0) break;
      text.push_back(c);
    }
    return code_page_.FromUtf16(text);
  }

 private:
  std::optional<Block> Root() const {
    if (bytes_.size() < 4) return std::nullopt;
    return ParseBlock(0, bytes_.size());
  }

  // The block at `begin`, which must end by `limit`; nullopt when its
  // header or key does not fit.
  std::optional<Block> ParseBlock(size_t begin, size_t limit) const {
    const size_t header = wide_ ? 6 : 4;
    if (begin + header > limit) return std::nullopt;
    Block block;
    block.begin = begin;
    block.end = std::min(limit, begin + Le16(bytes_, begin));
    block.value_length = Le16(bytes_, begin + 2);
    const size_t unit = wide_ ? 2 : 1;
    block.key_begin = begin + header;
    size_t at = block.key_begin;
    while (at + unit <= block.end && KeyUnit(at) != 0) at += unit;
    if (at + unit > block.end) return std::nullopt;  // no NUL inside the block
    block.key_units = (at - block.key_begin) / unit;
    const size_t value_bytes =
        size_t{block.value_length} * (wide_ && Le16(bytes_, begin + 4) != 0 ? 2 : 1);
    block.value_begin = std::min(block.end, Align4(at + unit));
    block.value_end = std::min(block.end, block.value_begin + value_bytes);
    block.children_begin = std::min(block.end, Align4(block.value_begin + value_bytes));
    return block;
  }

  char16_t KeyUnit(size_t at) const {
    return wide_ ? Le16(bytes_, at) : static_cast<unsigned char>(bytes_[at]);
  }

  bool KeyEquals(const Block& block, std::u16string_view name) const {
    if (block.key_units != name.size()) return false;
    const size_t unit = wide_ ? 2 : 1;
    for (size_t i = 0; i < name.size(); ++i) {
      if (FoldAscii(KeyUnit(block.key_begin + i * unit)) != FoldAscii(name[i])) return false;
    }
    return true;
  }

  static char16_t FoldAscii(char16_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
  }

  std::optional<Block> FindChild(const Block& parent, std::u16string_view name) const {
    size_t at = parent.children_begin;
    for (size_t n = 0; n < kMaxSiblings && at < parent.end; ++n) {
      if (at + 2 > parent.end) return std::nullopt;
      const uint16_t length = Le16(bytes_, at);
      if (length == 0) return std::nullopt;
      const auto child = ParseBlock(at, parent.end);
      if (child && KeyEquals(*child, name)) return child;
      at += Align4(length);
    }
    return std::nullopt;
  }

  std::optional<Block> Query(std::string_view sub_block) const {
    auto block = Root();
    size_t components = 0;
    for (std::string_view part : Split(sub_block, '\\')) {
      if (!block) return std::nullopt;
      if (part.empty()) continue;
      if (++components > kMaxPathComponents) return std::nullopt;
      block = FindChild(*block, KeyName(part));
    }
    return block;
  }

  // A path component as the file's keys spell it: UTF-16 for Win32
  // blocks, the 8-bit text itself for 16-bit ones.
  std::u16string KeyName(std::string_view part) const {
    if (wide_) return code_page_.ToUtf16(part);
    std::u16string name;
    for (char c : part) name.push_back(static_cast<unsigned char>(c));
    return name;
  }

  std::string bytes_;
  const CodePage& code_page_;
  bool wide_ = false;
};

}  // namespace

std::unique_ptr<VersionData> ParseVersionData(std::string bytes, const CodePage& code_page) {
  return std::make_unique<ParsedVersionData>(std::move(bytes), code_page);
}

std::unique_ptr<VersionData> ReadVersionResource(const ByteSource& file,
                                                 const CodePage& code_page) {
  const auto dos = ReadBytes(file, 0, 0x40);
  if (!dos || (*dos)[0] != 'M' || (*dos)[1] != 'Z') return nullptr;
  const uint64_t next = Le32(*dos, 0x3C);
  const auto signature = ReadBytes(file, next, 2);
  if (!signature) return nullptr;
  std::optional<Location> location;
  if (*signature == "PE") {
    location = LocatePeVersion(file, next);
  } else if (*signature == "NE") {
    location = LocateNeVersion(file, next);
  }
  if (!location) return nullptr;
  const size_t size = static_cast<size_t>(std::min<uint64_t>(location->size, kMaxVersionBytes));
  auto bytes = ReadBytes(file, location->offset, size);
  if (!bytes) return nullptr;
  return ParseVersionData(std::move(*bytes), code_page);
}

}  // namespace tarnscan::platform
