#include "platform/offline/hive.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/byte_source.h"

namespace tarnscan::platform {
namespace {

constexpr size_t kNkFixedSize = 0x4C;
constexpr size_t kVkFixedSize = 0x14;
constexpr uint16_t kKeyCompressedName = 0x0020;
constexpr uint16_t kValueCompressedName = 0x0001;
constexpr uint32_t kResidentData = 0x80000000u;
// Values longer than this are split into "db" segments from hive version
// 1.4 on; each segment holds this many bytes.
constexpr uint32_t kBigDataSegment = 16344;

bool SetDamage(HiveDamage* damage, Cell cell, const char* what) {
  if (damage != nullptr) {
    damage->cell = cell;
    damage->what = what;
  }
  return false;
}

bool IsLeafSignature(std::string_view data) {
  if (data.size() < 4) return false;
  const std::string_view sig = data.substr(0, 2);
  return sig == "li" || sig == "lf" || sig == "lh";
}

// Offsets of the elements of an li/lf/lh list, after its count.
size_t LeafStride(std::string_view data) { return data[1] == 'i' ? 4 : 8; }

}  // namespace

uint32_t HiveHeaderChecksum(std::string_view bytes) {
  uint32_t sum = 0;
  for (size_t at = 0; at + 4 <= 508 && at + 4 <= bytes.size(); at += 4) sum ^= Le32(bytes, at);
  // Windows never stores the two values that mean "no checksum".
  if (sum == 0xFFFFFFFFu) sum = 0xFFFFFFFEu;
  if (sum == 0) sum = 1;
  return sum;
}

std::optional<HiveHeader> ParseHiveHeader(std::string_view bytes) {
  if (bytes.size() < 512 || bytes.substr(0, 4) != "regf") return std::nullopt;
  HiveHeader header;
  header.primary_sequence = Le32(bytes, 4);
  header.secondary_sequence = Le32(bytes, 8);
  header.last_written = Le64(bytes, 12);
  header.major_version = Le32(bytes, 20);
  header.minor_version = Le32(bytes, 24);
  header.file_type = Le32(bytes, 28);
  header.root = Le32(bytes, 36);
  header.bins_size = Le32(bytes, 40);
  header.checksum_ok = HiveHeaderChecksum(bytes) == Le32(bytes, 508);
  return header;
}

// ---------------------------------------------------------------------------
// Names

char16_t HiveName::At(size_t i) const {
  if (compressed) return static_cast<unsigned char>(raw[i]);
  return static_cast<char16_t>(Le16(raw, i * 2));
}

std::u16string HiveName::Utf16() const {
  std::u16string text(Length(), u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = At(i);
  return text;
}

std::optional<std::string_view> HiveName::Ascii() const {
  if (!compressed) return std::nullopt;
  for (char c : raw) {
    if (static_cast<unsigned char>(c) >= 0x80) return std::nullopt;
  }
  return raw;
}

char16_t UpcaseUnit(char16_t c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 0x20) : c;
  // Latin-1 (not the division sign), Latin Extended-A pairs.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x178 && c != 0x17F) {
    const bool odd_is_lower = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
    if (odd_is_lower ? (c & 1) : !(c & 1)) return static_cast<char16_t>(c - 1);
    return c;
  }
  // Greek, Cyrillic, Armenian, full-width Latin.
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF)) &&
      (c & 1)) {
    return static_cast<char16_t>(c - 1);
  }
  if (c >= 0x561 && c <= 0x586) return static_cast<char16_t>(c - 0x30);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

int CompareNames(std::u16string_view upper_target, const HiveName& name) {
  const size_t length = name.Length();
  const size_t common = std::min(upper_target.size(), length);
  for (size_t i = 0; i < common; ++i) {
    const char16_t a = upper_target[i];
    const char16_t b = UpcaseUnit(name.At(i));
    if (a != b) return a < b ? -1 : 1;
  }
  if (upper_target.size() == length) return 0;
  return upper_target.size() < length ? -1 : 1;
}

bool NamesEqual(std::u16string_view upper_target, const HiveName& name) {
  return upper_target.size() == name.Length() && CompareNames(upper_target, name) == 0;
}

// ---------------------------------------------------------------------------
// Opening

int OpenForReading(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

std::optional<std::string> ReadFileForReading(const std::string& path) {
  const int fd = OpenForReading(path);
  if (fd < 0) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, static_cast<size_t>(n));
  close(fd);
  if (n < 0) return std::nullopt;
  return bytes;
}

Hive::Hive(std::string name, std::string owned, const void* mapping, size_t mapped_size)
    : name_(std::move(name)),
      owned_(std::move(owned)),
      mapping_(mapping),
      mapped_size_(mapped_size) {
  bytes_ = mapping_ != nullptr ? std::string_view(static_cast<const char*>(mapping_), mapped_size_)
                               : std::string_view(owned_);
}

Hive::~Hive() {
  if (mapping_ != nullptr) munmap(const_cast<void*>(mapping_), mapped_size_);
}

std::unique_ptr<Hive> Hive::OpenFile(const std::string& path) {
  const int fd = OpenForReading(path);
  if (fd < 0) throw HiveError(path + ": " + std::strerror(errno));
  struct stat facts {};
  if (fstat(fd, &facts) != 0 || !S_ISREG(facts.st_mode)) {
    close(fd);
    throw HiveError(path + ": not a regular file");
  }
  const size_t size = static_cast<size_t>(facts.st_size);
  if (size < kHiveBaseBlockSize) {
    close(fd);
    throw HiveError(path + ": too short for a registry hive (" + std::to_string(size) + " bytes)");
  }
  void* mapping = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (mapping == MAP_FAILED) throw HiveError(path + ": cannot map: " + std::strerror(errno));
  std::unique_ptr<Hive> hive(new Hive(path, {}, mapping, size));
  hive->Validate();
  return hive;
}

std::unique_ptr<Hive> Hive::FromBytes(std::string bytes, std::string name) {
  std::unique_ptr<Hive> hive(new Hive(std::move(name), std::move(bytes), nullptr, 0));
  hive->Validate();
  return hive;
}

void Hive::Validate() {
  if (bytes_.size() < kHiveBaseBlockSize) {
    throw HiveError(name_ + ": too short for a registry hive (" + std::to_string(bytes_.size()) +
                    " bytes)");
  }
  const auto header = ParseHiveHeader(bytes_);
  if (!header) throw HiveError(name_ + ": not a registry hive (no regf signature)");
  header_ = *header;
  // A hive cut short keeps what it has; the header's size may promise more
  // than the file holds, never the other way round.
  const size_t available = bytes_.size() - kHiveBaseBlockSize;
  bins_ = bytes_.substr(kHiveBaseBlockSize, std::min<size_t>(available, header_.bins_size));
  HiveDamage damage;
  if (!Key(header_.root, &damage)) {
    throw HiveError(name_ + ": the root key cannot be read (" + damage.what + ")");
  }
}

bool Hive::IsDirty() const {
  return !header_.checksum_ok || header_.primary_sequence != header_.secondary_sequence;
}

// ---------------------------------------------------------------------------
// Cells

std::optional<std::string_view> Hive::CellData(Cell cell) const {
  if (cell > bins_.size() || bins_.size() - cell < 4 || (cell & 3) != 0) return std::nullopt;
  const auto size = static_cast<int32_t>(Le32(bins_, cell));
  // Only allocated cells (negative size) hold live data.
  if (size >= -4) return std::nullopt;
  const uint32_t length = static_cast<uint32_t>(-static_cast<int64_t>(size));
  if (length > bins_.size() - cell) return std::nullopt;
  return bins_.substr(cell + 4, length - 4);
}

std::optional<HiveKeyNode> Hive::Key(Cell cell, HiveDamage* damage) const {
  const auto data = CellData(cell);
  if (!data) return SetDamage(damage, cell, "key cell outside the hive"), std::nullopt;
  if (data->size() < kNkFixedSize || data->substr(0, 2) != "nk") {
    return SetDamage(damage, cell, "not a key node"), std::nullopt;
  }
  HiveKeyNode key;
  key.cell = cell;
  key.flags = Le16(*data, 2);
  key.last_written = Le64(*data, 4);
  key.parent = Le32(*data, 16);
  key.subkey_count = Le32(*data, 20);
  key.subkey_list = Le32(*data, 28);
  key.value_count = Le32(*data, 36);
  key.value_list = Le32(*data, 40);
  const uint16_t name_length = Le16(*data, 72);
  if (name_length > data->size() - kNkFixedSize) {
    return SetDamage(damage, cell, "key name past its cell"), std::nullopt;
  }
  key.name.raw = data->substr(kNkFixedSize, name_length);
  key.name.compressed = (key.flags & kKeyCompressedName) != 0;
  return key;
}

std::optional<HiveName> Hive::NameOf(Cell key_cell, HiveDamage* damage) const {
  const auto key = Key(key_cell, damage);
  if (!key) return std::nullopt;
  return key->name;
}

// ---------------------------------------------------------------------------
// Subkeys

Hive::Lookup Hive::SearchLeaf(std::string_view list, std::u16string_view upper_name, Cell* found,
                              HiveDamage* damage) const {
  const size_t stride = LeafStride(list);
  const size_t count = Le16(list, 2);
  if (count > (list.size() - 4) / stride) {
    SetDamage(damage, 0, "subkey list longer than its cell");
    return Lookup::kDamaged;
  }
  size_t low = 0;
  size_t high = count;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const Cell child = Le32(list, 4 + middle * stride);
    const auto name = NameOf(child, damage);
    if (!name) return Lookup::kDamaged;
    const int order = CompareNames(upper_name, *name);
    if (order == 0) {
      *found = child;
      return Lookup::kFound;
    }
    if (order < 0) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return Lookup::kMissing;
}

Hive::Lookup Hive::SearchRoot(std::string_view list, std::u16string_view upper_name, Cell* found,
                              HiveDamage* damage) const {
  const size_t count = Le16(list, 2);
  if (count > (list.size() - 4) / 4) {
    SetDamage(damage, 0, "subkey index longer than its cell");
    return Lookup::kDamaged;
  }
  auto leaf_at = [&](size_t index) -> std::optional<std::string_view> {
    const Cell cell = Le32(list, 4 + index * 4);
    const auto leaf = CellData(cell);
    if (!leaf || !IsLeafSignature(*leaf)) {
      SetDamage(damage, cell, "subkey index points to no subkey list");
      return std::nullopt;
    }
    return leaf;
  };
  // The leaves are in name order: the first whose last name is not below
  // the target is the only one that can hold it.
  size_t low = 0;
  size_t high = count;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    const auto leaf = leaf_at(middle);
    if (!leaf) return Lookup::kDamaged;
    const size_t leaf_count = Le16(*leaf, 2);
    const size_t stride = LeafStride(*leaf);
    if (leaf_count == 0 || leaf_count > (leaf->size() - 4) / stride) {
      SetDamage(damage, 0, "subkey list of the wrong size");
      return Lookup::kDamaged;
    }
    const auto last = NameOf(Le32(*leaf, 4 + (leaf_count - 1) * stride), damage);
    if (!last) return Lookup::kDamaged;
    if (CompareNames(upper_name, *last) > 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == count) return Lookup::kMissing;
  const auto leaf = leaf_at(low);
  if (!leaf) return Lookup::kDamaged;
  return SearchLeaf(*leaf, upper_name, found, damage);
}

Hive::Lookup Hive::FindSubkey(const HiveKeyNode& key, std::u16string_view upper_name, Cell* found,
                              HiveDamage* damage) const {
  if (key.subkey_count == 0) return Lookup::kMissing;
  const auto list = CellData(key.subkey_list);
  if (!list || list->size() < 4) {
    SetDamage(damage, key.subkey_list, "subkey list outside the hive");
    return Lookup::kDamaged;
  }
  if (IsLeafSignature(*list)) return SearchLeaf(*list, upper_name, found, damage);
  if (list->substr(0, 2) == "ri") return SearchRoot(*list, upper_name, found, damage);
  SetDamage(damage, key.subkey_list, "unknown kind of subkey list");
  return Lookup::kDamaged;
}

bool Hive::Subkeys(const HiveKeyNode& key, std::vector<Cell>& cells, HiveDamage* damage) const {
  cells.clear();
  if (key.subkey_count == 0) return true;
  const auto list = CellData(key.subkey_list);
  if (!list || list->size() < 4) {
    return SetDamage(damage, key.subkey_list, "subkey list outside the hive");
  }
  auto add_leaf = [&](std::string_view leaf, Cell leaf_cell) {
    const size_t stride = LeafStride(leaf);
    const size_t count = Le16(leaf, 2);
    if (count > (leaf.size() - 4) / stride) {
      return SetDamage(damage, leaf_cell, "subkey list longer than its cell");
    }
    for (size_t i = 0; i < count; ++i) cells.push_back(Le32(leaf, 4 + i * stride));
    return true;
  };
  if (IsLeafSignature(*list)) {
    if (!add_leaf(*list, key.subkey_list)) return false;
  } else if (list->substr(0, 2) == "ri") {
    const size_t count = Le16(*list, 2);
    if (count > (list->size() - 4) / 4) {
      return SetDamage(damage, key.subkey_list, "subkey index longer than its cell");
    }
    for (size_t i = 0; i < count; ++i) {
      const Cell leaf_cell = Le32(*list, 4 + i * 4);
      const auto leaf = CellData(leaf_cell);
      if (!leaf || !IsLeafSignature(*leaf)) {
        return SetDamage(damage, leaf_cell, "subkey index points to no subkey list");
      }
      if (!add_leaf(*leaf, leaf_cell)) return false;
    }
  } else {
    return SetDamage(damage, key.subkey_list, "unknown kind of subkey list");
  }
  // Windows enumerates by index below the key's own count.
  if (cells.size() < key.subkey_count) {
    return SetDamage(damage, key.subkey_list, "fewer subkeys listed than counted");
  }
  cells.resize(key.subkey_count);
  return true;
}

// ---------------------------------------------------------------------------
// Values

bool Hive::Values(const HiveKeyNode& key, std::vector<Cell>& cells, HiveDamage* damage) const {
  cells.clear();
  if (key.value_count == 0) return true;
  const auto list = CellData(key.value_list);
  if (!list || key.value_count > list->size() / 4) {
    return SetDamage(damage, key.value_list, "value list outside the hive");
  }
  cells.reserve(key.value_count);
  for (size_t i = 0; i < key.value_count; ++i) cells.push_back(Le32(*list, i * 4));
  return true;
}

std::optional<HiveValueNode> Hive::Value(Cell cell, HiveDamage* damage) const {
  const auto data = CellData(cell);
  if (!data || data->size() < kVkFixedSize || data->substr(0, 2) != "vk") {
    return SetDamage(damage, cell, "not a value"), std::nullopt;
  }
  HiveValueNode value;
  value.cell = cell;
  const uint16_t name_length = Le16(*data, 2);
  const uint32_t size = Le32(*data, 4);
  value.resident = (size & kResidentData) != 0;
  value.data_size = size & ~kResidentData;
  value.data = Le32(*data, 8);
  value.type = Le32(*data, 12);
  value.name.compressed = (Le16(*data, 16) & kValueCompressedName) != 0;
  if (name_length > data->size() - kVkFixedSize) {
    return SetDamage(damage, cell, "value name past its cell"), std::nullopt;
  }
  value.name.raw = data->substr(kVkFixedSize, name_length);
  return value;
}

std::optional<std::string> Hive::ValueData(const HiveValueNode& value, HiveDamage* damage) const {
  if (value.resident) {
    if (value.data_size > 4)
      return SetDamage(damage, value.cell, "resident data over 4 bytes"), std::nullopt;
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value.data >> (8 * i)) & 0xFF);
    bytes.resize(value.data_size);
    return bytes;
  }
  if (value.data_size == 0) return std::string();
  const auto cell = CellData(value.data);
  if (!cell) return SetDamage(damage, value.data, "value data outside the hive"), std::nullopt;
  const bool big = header_.minor_version >= 4 && value.data_size > kBigDataSegment &&
                   cell->size() >= 8 && cell->substr(0, 2) == "db";
  if (!big) {
    if (cell->size() < value.data_size) {
      return SetDamage(damage, value.data, "value data longer than its cell"), std::nullopt;
    }
    return std::string(cell->substr(0, value.data_size));
  }
  const size_t segments = Le16(*cell, 2);
  const auto list = CellData(Le32(*cell, 4));
  if (!list || segments > list->size() / 4) {
    return SetDamage(damage, value.data, "big data segment list outside the hive"), std::nullopt;
  }
  std::string bytes;
  bytes.reserve(value.data_size);
  for (size_t i = 0; i < segments && bytes.size() < value.data_size; ++i) {
    const auto segment = CellData(Le32(*list, i * 4));
    const size_t wanted = std::min<size_t>(kBigDataSegment, value.data_size - bytes.size());
    if (!segment || segment->size() < wanted) {
      return SetDamage(damage, value.data, "big data segment outside the hive"), std::nullopt;
    }
    bytes.append(segment->substr(0, wanted));
  }
  if (bytes.size() != value.data_size) {
    return SetDamage(damage, value.data, "big data shorter than its size"), std::nullopt;
  }
  return bytes;
}

}  // namespace tarnscan::platform
