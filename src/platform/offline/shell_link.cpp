#include "platform/offline/shell_link.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr uint32_t kHeaderSize = 0x4C;
// CLSID_ShellLink {00021401-0000-0000-C000-000000000046} as stored.
constexpr unsigned char kShellLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// CLSID_MyComputer {20D04FE0-3AEA-1069-A2D8-08002B30309D} as stored.
constexpr unsigned char kMyComputerClsid[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                                0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

enum LinkFlag : uint32_t {
  kHasIdList = 0x01,
  kHasLinkInfo = 0x02,
  kHasName = 0x04,
  kHasRelativePath = 0x08,
  kHasWorkingDir = 0x10,
  kHasArguments = 0x20,
  kHasIconLocation = 0x40,
  kIsUnicode = 0x80,
  kForceNoLinkInfo = 0x100,
  kHasExpString = 0x200,
};

enum LinkInfoFlag : uint32_t {
  kVolumeIdAndLocalBasePath = 0x01,
  kCommonNetworkRelativeLinkAndPathSuffix = 0x02,
};

constexpr uint32_t kLinkInfoMinHeaderSize = 0x1C;
constexpr uint32_t kLinkInfoUnicodeHeaderSize = 0x24;
// Windows writes link-information blocks of a few hundred bytes (their
// strings are paths); a claim far beyond that is not read into memory.
constexpr uint32_t kMaxLinkInfoSize = 0x10000;
constexpr uint32_t kVolumeIdMinSize = 0x10;
constexpr uint32_t kNetworkLinkMinSize = 0x14;
constexpr uint32_t kValidDevice = 0x01;

constexpr uint64_t kMaxPath = 260;

// A link carries a handful of extra data blocks; the walk to the
// environment block gives up after this many.
constexpr int kMaxExtraDataBlocks = 64;
constexpr uint32_t kEnvironmentBlockSignature = 0xA0000001;
constexpr uint32_t kEnvironmentBlockSize = 0x314;
constexpr size_t kEnvironmentAnsiOffset = 8;
constexpr size_t kEnvironmentAnsiSize = 260;
constexpr size_t kEnvironmentUnicodeOffset = kEnvironmentAnsiOffset + kEnvironmentAnsiSize;
constexpr size_t kEnvironmentUnicodeSize = 520;

constexpr uint8_t kRootItemType = 0x1F;
constexpr uint8_t kItemClassMask = 0x70;
constexpr uint8_t kVolumeItemClass = 0x20;
constexpr uint8_t kFileItemClass = 0x30;
constexpr uint8_t kFileItemUnicodeName = 0x04;
constexpr size_t kFileItemNameOffset = 14;
constexpr uint32_t kFileItemExtensionSignature = 0xBEEF0004;
constexpr size_t kExtensionHeaderSize = 8;

std::optional<uint16_t> U16At(std::string_view bytes, size_t offset) {
  if (offset > bytes.size() || bytes.size() - offset < 2) return std::nullopt;
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) |
                               static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

std::optional<uint32_t> U32At(std::string_view bytes, size_t offset) {
  const auto low = U16At(bytes, offset);
  const auto high = U16At(bytes, offset + 2);
  if (!low || !high) return std::nullopt;
  return static_cast<uint32_t>(*low) | static_cast<uint32_t>(*high) << 16;
}

std::optional<uint32_t> ReadU32(const ByteSource& file, uint64_t offset) {
  std::string bytes;
  if (!file.ReadExact(offset, 4, bytes)) return std::nullopt;
  return U32At(bytes, 0);
}

std::optional<uint16_t> ReadU16(const ByteSource& file, uint64_t offset) {
  std::string bytes;
  if (!file.ReadExact(offset, 2, bytes)) return std::nullopt;
  return U16At(bytes, 0);
}

// Text up to the first NUL, or all of it when it has none (fixed-size
// fields and names that fill their item).
std::string_view AnsiUpToNul(std::string_view bytes) {
  return bytes.substr(0, std::min(bytes.find('\0'), bytes.size()));
}

std::u16string Utf16UpToNul(std::string_view bytes) {
  size_t end = 0;
  while (end + 1 < bytes.size() && (bytes[end] != 0 || bytes[end + 1] != 0)) end += 2;
  return Utf16FromLittleEndian(bytes.substr(0, end));
}

// NUL-terminated strings inside a structure; nullopt when the offset is
// outside it or the string runs past its end.
std::optional<std::string_view> AnsiStringAt(std::string_view bytes, size_t offset) {
  if (offset >= bytes.size()) return std::nullopt;
  const size_t end = bytes.find('\0', offset);
  if (end == std::string_view::npos) return std::nullopt;
  return bytes.substr(offset, end - offset);
}

std::optional<std::u16string> Utf16StringAt(std::string_view bytes, size_t offset) {
  for (size_t i = offset; i < bytes.size() && bytes.size() - i >= 2; i += 2) {
    if (bytes[i] == 0 && bytes[i + 1] == 0) {
      return Utf16FromLittleEndian(bytes.substr(offset, i - offset));
    }
  }
  return std::nullopt;
}

bool EndsWithBackslash(std::string_view path, const CodePage& code_page) {
  if (path.empty() || path.back() != '\\') return false;
  // In a double-byte code page 0x5C can be the second byte of a character.
  const std::u16string wide = code_page.ToUtf16(path);
  return !wide.empty() && wide.back() == u'\\';
}

// Appends `name` with one backslash between, as the shell joins the parts
// of a link's path.
std::string JoinPath(std::string base, std::string_view name, const CodePage& code_page) {
  if (name.empty()) return base;
  if (!base.empty() && !EndsWithBackslash(base, code_page)) base += '\\';
  base += name;
  return base;
}

// ---- The file's layout ----

struct LinkParts {
  uint32_t flags = 0;
  std::string id_list;  // the items and their terminator
  std::optional<std::string> link_info;
  uint64_t extra_data = 0;  // offset of the first extra data block
};

bool HasValidHeader(const ByteSource& file, uint32_t& flags) {
  std::string header;
  if (!file.ReadExact(0, kHeaderSize, header)) return false;
  if (U32At(header, 0) != kHeaderSize) return false;
  if (std::memcmp(header.data() + 4, kShellLinkClsid, sizeof kShellLinkClsid) != 0) return false;
  flags = *U32At(header, 0x14);
  return true;
}

bool ReadIdList(const ByteSource& file, uint64_t& offset, std::string& id_list) {
  const auto size = ReadU16(file, offset);
  if (!size || !file.ReadExact(offset + 2, *size, id_list)) return false;
  offset += 2 + *size;
  return true;
}

bool ReadLinkInfo(const ByteSource& file, uint64_t& offset, std::optional<std::string>& block) {
  const auto size = ReadU32(file, offset);
  if (!size || *size < kLinkInfoMinHeaderSize || *size > kMaxLinkInfoSize) return false;
  block.emplace();
  if (!file.ReadExact(offset, *size, *block)) return false;
  offset += *size;
  return true;
}

// The string data section is only stepped over: GetPath uses none of it.
// Windows reads at most MAX_PATH characters of the path strings (relative
// path, working folder, icon location) whatever their count claims, and
// goes on right after them; shortcuts in the wild pad the working folder's
// count to hide the arguments from other readers.
bool SkipStringData(const ByteSource& file, uint32_t flags, uint64_t& offset) {
  struct Field {
    uint32_t flag;
    bool is_path;
  };
  constexpr Field kFields[] = {{kHasName, false},
                               {kHasRelativePath, true},
                               {kHasWorkingDir, true},
                               {kHasArguments, false},
                               {kHasIconLocation, true}};
  const uint64_t char_size = (flags & kIsUnicode) ? 2 : 1;
  for (const Field& field : kFields) {
    if (!(flags & field.flag)) continue;
    const auto count = ReadU16(file, offset);
    if (!count) return false;
    const uint64_t chars = field.is_path ? std::min<uint64_t>(*count, kMaxPath) : *count;
    const uint64_t length = 2 + chars * char_size;
    if (length > file.Size() - offset) return false;
    offset += length;
  }
  return true;
}

std::optional<LinkParts> ReadLinkParts(const ByteSource& file) {
  LinkParts parts;
  if (!HasValidHeader(file, parts.flags)) return std::nullopt;
  uint64_t offset = kHeaderSize;
  if ((parts.flags & kHasIdList) && !ReadIdList(file, offset, parts.id_list)) return std::nullopt;
  if ((parts.flags & kHasLinkInfo) && !ReadLinkInfo(file, offset, parts.link_info)) {
    return std::nullopt;
  }
  if (!SkipStringData(file, parts.flags, offset)) return std::nullopt;
  parts.extra_data = offset;
  return parts;
}

// The items of an ID list, each with its size field; nullopt when an item
// runs past the list or the terminator is missing.
std::optional<std::vector<std::string_view>> SplitIdList(std::string_view list) {
  std::vector<std::string_view> items;
  size_t offset = 0;
  while (true) {
    const auto size = U16At(list, offset);
    if (!size) return std::nullopt;
    if (*size == 0) return items;
    if (*size < 3 || *size > list.size() - offset) return std::nullopt;
    items.push_back(list.substr(offset, *size));
    offset += *size;
  }
}

// ---- The link-information block ----

// One string of the block: the Unicode form where the block has one (as
// Windows NT reads it), else the 8-bit bytes as they are. The 8-bit form
// must be sound either way.
std::optional<std::string> LinkInfoString(std::string_view block, uint32_t ansi_offset,
                                          uint32_t unicode_offset, const CodePage& code_page) {
  const auto ansi = AnsiStringAt(block, ansi_offset);
  if (!ansi) return std::nullopt;
  if (unicode_offset == 0) return std::string(*ansi);
  const auto wide = Utf16StringAt(block, unicode_offset);
  if (!wide) return std::nullopt;
  return code_page.FromUtf16(*wide);
}

bool HasValidVolumeId(std::string_view block, uint32_t offset) {
  const auto size = U32At(block, offset);
  return size && *size >= kVolumeIdMinSize && *size <= block.size() - offset;
}

// The share name ("\\server\share") of the network part at `offset`.
std::optional<std::string> NetNameAt(std::string_view block, uint32_t offset,
                                     const CodePage& code_page) {
  const auto size = U32At(block, offset);
  if (!size || *size < kNetworkLinkMinSize || *size > block.size() - offset) return std::nullopt;
  const std::string_view part = block.substr(offset, *size);
  const uint32_t flags = *U32At(part, 4);
  const uint32_t net_name = *U32At(part, 8);
  const uint32_t device_name = *U32At(part, 12);
  uint32_t net_name_unicode = 0;
  uint32_t device_name_unicode = 0;
  if (net_name > kNetworkLinkMinSize) {  // the part has Unicode offsets
    const auto net = U32At(part, 0x14);
    const auto device = U32At(part, 0x18);
    if (!net || !device) return std::nullopt;
    net_name_unicode = *net;
    device_name_unicode = *device;
  }
  if ((flags & kValidDevice) &&
      !LinkInfoString(part, device_name, device_name_unicode, code_page)) {
    return std::nullopt;
  }
  return LinkInfoString(part, net_name, net_name_unicode, code_page);
}

// The path of the block, "" when it has none; nullopt when it is unsound.
// With UNC priority the share path wins over the local one.
std::optional<std::string> PathFromLinkInfo(std::string_view block, const CodePage& code_page) {
  const uint32_t header_size = *U32At(block, 4);
  if (header_size < kLinkInfoMinHeaderSize || header_size > block.size()) return std::nullopt;
  const bool unicode = header_size >= kLinkInfoUnicodeHeaderSize;
  const uint32_t flags = *U32At(block, 8);
  const uint32_t volume_id = *U32At(block, 0x0C);
  const uint32_t local_base_path = *U32At(block, 0x10);
  const uint32_t network_link = *U32At(block, 0x14);
  const uint32_t common_path_suffix = *U32At(block, 0x18);
  const uint32_t local_base_path_unicode = unicode ? *U32At(block, 0x1C) : 0;
  const uint32_t common_path_suffix_unicode = unicode ? *U32At(block, 0x20) : 0;

  if (!(flags & (kVolumeIdAndLocalBasePath | kCommonNetworkRelativeLinkAndPathSuffix))) {
    return std::string();
  }
  const auto suffix =
      LinkInfoString(block, common_path_suffix, common_path_suffix_unicode, code_page);
  if (!suffix) return std::nullopt;

  std::optional<std::string> local;
  if (flags & kVolumeIdAndLocalBasePath) {
    if (!HasValidVolumeId(block, volume_id)) return std::nullopt;
    local = LinkInfoString(block, local_base_path, local_base_path_unicode, code_page);
    if (!local) return std::nullopt;
  }
  std::optional<std::string> net;
  if (flags & kCommonNetworkRelativeLinkAndPathSuffix) {
    net = NetNameAt(block, network_link, code_page);
    if (!net) return std::nullopt;
  }
  if (net && !net->empty()) return JoinPath(std::move(*net), *suffix, code_page);
  if (local && !local->empty()) return JoinPath(std::move(*local), *suffix, code_page);
  return std::string();
}

// ---- The item ID list ----

uint8_t ItemType(std::string_view item) { return static_cast<uint8_t>(item[2]); }

bool IsMyComputer(std::string_view item) {
  return item.size() >= 4 + sizeof kMyComputerClsid && ItemType(item) == kRootItemType &&
         std::memcmp(item.data() + 4, kMyComputerClsid, sizeof kMyComputerClsid) == 0;
}

// "C:\" from a drive item.
std::optional<std::string> DriveRoot(std::string_view item) {
  if ((ItemType(item) & kItemClassMask) != kVolumeItemClass || item.size() < 6) {
    return std::nullopt;
  }
  const char letter = AsciiUpper(item[3]);
  if (letter < 'A' || letter > 'Z' || item[4] != ':' || item[5] != '\\') return std::nullopt;
  return std::string(item.substr(3, 3));
}

// The long name of an extension block of type 0xBEEF0004; where it lies
// depends on the block's version (3: XP, 7: Vista, 8: 7, 9: 8 and later).
std::optional<std::u16string> LongNameOf(std::string_view extension) {
  const uint16_t version = *U16At(extension, 2);
  if (version < 3) return std::nullopt;
  size_t offset = 20;
  if (version >= 9) {
    offset = 46;
  } else if (version >= 8) {
    offset = 42;
  } else if (version >= 7) {
    offset = 38;
  }
  // The block ends with the two-byte offset of the item's first extension.
  if (extension.size() < offset + 2) return std::nullopt;
  const auto name = Utf16StringAt(extension.substr(0, extension.size() - 2), offset);
  if (!name || name->empty()) return std::nullopt;
  return name;
}

// File and folder items written since Windows XP end with the offset of
// their first extension block; the blocks follow one another to the end.
std::optional<std::u16string> ExtensionLongName(std::string_view item) {
  size_t offset = *U16At(item, item.size() - 2);
  if (offset < kFileItemNameOffset) return std::nullopt;
  while (offset < item.size() && item.size() - offset >= kExtensionHeaderSize) {
    const uint16_t size = *U16At(item, offset);
    if (size < kExtensionHeaderSize || size > item.size() - offset) return std::nullopt;
    if (U32At(item, offset + 4) == kFileItemExtensionSignature) {
      return LongNameOf(item.substr(offset, size));
    }
    offset += size;
  }
  return std::nullopt;
}

// Explorer shows (and GetPath gives) the long name; the 8.3 name at the
// head of the item stands in where there is none.
std::optional<std::string> FileItemName(std::string_view item, const CodePage& code_page) {
  if ((ItemType(item) & kItemClassMask) != kFileItemClass) return std::nullopt;
  if (item.size() <= kFileItemNameOffset) return std::nullopt;
  if (auto long_name = ExtensionLongName(item)) return code_page.FromUtf16(*long_name);
  const std::string_view name = item.substr(kFileItemNameOffset);
  if (ItemType(item) & kFileItemUnicodeName) return code_page.FromUtf16(Utf16UpToNul(name));
  return std::string(AnsiUpToNul(name));
}

// The path of an absolute file-system list; "" for any other list.
std::string PathFromIdList(const std::vector<std::string_view>& items, const CodePage& code_page) {
  if (items.size() < 2 || !IsMyComputer(items[0])) return {};
  std::optional<std::string> path = DriveRoot(items[1]);
  if (!path) return {};
  for (size_t i = 2; i < items.size(); ++i) {
    const auto name = FileItemName(items[i], code_page);
    if (!name || name->empty()) return {};
    path = JoinPath(std::move(*path), *name, code_page);
  }
  return *path;
}

// ---- The extra data ----

// TargetUnicode where it is set (Windows NT reads that one), else
// TargetAnsi; unexpanded (see the header).
std::string EnvironmentTargetOf(std::string_view block, const CodePage& code_page) {
  const std::u16string wide =
      Utf16UpToNul(block.substr(kEnvironmentUnicodeOffset, kEnvironmentUnicodeSize));
  if (!wide.empty()) return code_page.FromUtf16(wide);
  return std::string(AnsiUpToNul(block.substr(kEnvironmentAnsiOffset, kEnvironmentAnsiSize)));
}

std::string EnvironmentTarget(const ByteSource& file, uint64_t offset, const CodePage& code_page) {
  for (int i = 0; i < kMaxExtraDataBlocks; ++i) {
    const auto size = ReadU32(file, offset);
    if (!size || *size < 8) return {};  // the terminal block, or the end
    const auto signature = ReadU32(file, offset + 4);
    if (!signature) return {};
    if (*signature == kEnvironmentBlockSignature) {
      std::string block;
      if (*size < kEnvironmentBlockSize || *size > file.Size() - offset ||
          !file.ReadExact(offset, kEnvironmentBlockSize, block)) {
        return {};
      }
      return EnvironmentTargetOf(block, code_page);
    }
    offset += *size;
  }
  return {};
}

}  // namespace

std::string ReadShortcutTarget(const ByteSource& file, const CodePage& code_page) {
  const auto parts = ReadLinkParts(file);
  if (!parts) return {};
  std::optional<std::vector<std::string_view>> items;
  if (parts->flags & kHasIdList) {
    items = SplitIdList(parts->id_list);
    if (!items) return {};
  }
  if (parts->link_info) {
    const auto path = PathFromLinkInfo(*parts->link_info, code_page);
    if (!path) return {};
    if (!path->empty() && !(parts->flags & kForceNoLinkInfo)) return *path;
  }
  if (items) {
    std::string path = PathFromIdList(*items, code_page);
    if (!path.empty()) return path;
  }
  if (parts->flags & kHasExpString) return EnvironmentTarget(file, parts->extra_data, code_page);
  return {};
}

OfflineShell::OfflineShell(const FileSystem& files, const CodePage& code_page)
    : files_(files), code_page_(code_page) {}

std::string OfflineShell::ResolveShortcut(std::string_view lnk_path) const {
  try {
    const auto file = files_.OpenExclusive(lnk_path);
    return ReadShortcutTarget(*file, code_page_);
  } catch (const FileError&) {
    return {};
  }
}

void OfflineShell::Open(std::string_view program, std::string_view parameters) const {
  std::lock_guard lock(mutex_);
  last_opened_ = OpenRequest{std::string(program), std::string(parameters)};
}

std::optional<OfflineShell::OpenRequest> OfflineShell::LastOpened() const {
  std::lock_guard lock(mutex_);
  return last_opened_;
}

}  // namespace tarnscan::platform
