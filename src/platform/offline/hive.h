// A registry hive file (regf) read in place: the format Windows NT keeps
// its registry in (SYSTEM, SOFTWARE, NTUSER.DAT, UsrClass.dat, ...).
//
// The bytes are hostile: every cell is bounds-checked before it is read,
// every count is bounded by the cell that holds it, and a broken structure
// inside the hive is reported as damage of the key or value it belongs to,
// never followed outside the data. A child key is found the way the
// configuration manager finds it: by binary search over the hive's own
// sorted subkey lists, comparing upper-cased UTF-16 names, so a key with
// hundreds of thousands of subkeys costs a handful of comparisons.
//
// Offsets ("cells") are relative to the start of the hive bins data, as
// the file stores them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::platform {

// The hive cannot be read at all: no regf header, no root key.
class HiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Cell = uint32_t;

// open(O_RDONLY) of a file of the scanned image, leaving even its access
// time alone where the host allows it (O_NOATIME). -1 on failure.
int OpenForReading(const std::string& path);
// The whole file through OpenForReading; nullopt when it cannot be read.
std::optional<std::string> ReadFileForReading(const std::string& path);

constexpr size_t kHiveBaseBlockSize = 4096;

// The fields of the base block that the reader and log replay use.
struct HiveHeader {
  uint32_t primary_sequence = 0;
  uint32_t secondary_sequence = 0;
  int64_t last_written = 0;  // FILETIME, UTC
  uint32_t major_version = 0;
  uint32_t minor_version = 0;
  uint32_t file_type = 0;
  Cell root = 0;
  uint32_t bins_size = 0;
  bool checksum_ok = false;
};

// Reads the header fields from the first 512 bytes; nullopt without "regf".
std::optional<HiveHeader> ParseHiveHeader(std::string_view bytes);
// The XOR-32 checksum of the first 508 bytes, as Windows computes it.
uint32_t HiveHeaderChecksum(std::string_view bytes);

// A key or value name as stored: Latin-1 bytes ("compressed") or UTF-16LE.
struct HiveName {
  std::string_view raw;
  bool compressed = false;

  size_t Length() const { return compressed ? raw.size() : raw.size() / 2; }
  char16_t At(size_t i) const;
  std::u16string Utf16() const;
  // The name itself when it is plain ASCII (the common case, no conversion).
  std::optional<std::string_view> Ascii() const;
};

// Windows' case folding of one UTF-16 unit for name comparison
// (RtlUpcaseUnicodeChar for the scripts that registry names use).
char16_t UpcaseUnit(char16_t c);
// <0, 0, >0 comparing upper-cased units, then lengths, as the hive sorts.
int CompareNames(std::u16string_view upper_target, const HiveName& name);
bool NamesEqual(std::u16string_view upper_target, const HiveName& name);

struct HiveKeyNode {
  Cell cell = 0;
  uint16_t flags = 0;
  int64_t last_written = 0;
  Cell parent = 0;
  uint32_t subkey_count = 0;
  Cell subkey_list = 0;
  uint32_t value_count = 0;
  Cell value_list = 0;
  HiveName name;

  bool IsSymbolicLink() const { return (flags & 0x0010) != 0; }
};

struct HiveValueNode {
  Cell cell = 0;
  uint32_t type = 0;
  uint32_t data_size = 0;  // without the resident bit
  bool resident = false;
  Cell data = 0;  // the cell, or the bytes themselves when resident
  HiveName name;
};

// What went wrong where, for a warning that names it.
struct HiveDamage {
  Cell cell = 0;
  std::string what;
};

class Hive {
 public:
  // Maps the file read-only. Throws HiveError naming the file when it is
  // not a hive or its root key cannot be read.
  static std::unique_ptr<Hive> OpenFile(const std::string& path);
  // A hive in memory (log replay, tests, fuzzing). `name` names it in errors.
  static std::unique_ptr<Hive> FromBytes(std::string bytes, std::string name);

  ~Hive();
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;

  const std::string& Name() const { return name_; }
  const HiveHeader& Header() const { return header_; }
  // Sequence numbers differ or the checksum is wrong: a write did not end.
  bool IsDirty() const;
  // The whole file as read.
  std::string_view Bytes() const { return bytes_; }

  Cell Root() const { return header_.root; }

  // The key node at `cell`; nullopt with `damage` filled when the cell is
  // not a readable key node.
  std::optional<HiveKeyNode> Key(Cell cell, HiveDamage* damage = nullptr) const;

  enum class Lookup { kFound, kMissing, kDamaged };
  // Finds the child named `upper_name` (already upper-cased with
  // UpcaseUnit) by binary search over the key's subkey lists.
  Lookup FindSubkey(const HiveKeyNode& key, std::u16string_view upper_name, Cell* found,
                    HiveDamage* damage = nullptr) const;
  // The cells of the key's subkeys in stored (sorted) order; false when the
  // lists are damaged (what was read before the damage is kept).
  bool Subkeys(const HiveKeyNode& key, std::vector<Cell>& cells,
               HiveDamage* damage = nullptr) const;

  // The cells of the key's values in stored order; false when the list is
  // damaged.
  bool Values(const HiveKeyNode& key, std::vector<Cell>& cells, HiveDamage* damage = nullptr) const;
  std::optional<HiveValueNode> Value(Cell cell, HiveDamage* damage = nullptr) const;
  // Raw data bytes (big data segments joined); nullopt when damaged.
  std::optional<std::string> ValueData(const HiveValueNode& value,
                                       HiveDamage* damage = nullptr) const;

 private:
  Hive(std::string name, std::string owned, const void* mapping, size_t mapped_size);
  void Validate();

  // The data of an allocated cell (without its size field); nullopt when
  // the cell does not lie inside the hive bins data.
  std::optional<std::string_view> CellData(Cell cell) const;
  Lookup SearchLeaf(std::string_view list, std::u16string_view upper_name, Cell* found,
                    HiveDamage* damage) const;
  Lookup SearchRoot(std::string_view list, std::u16string_view upper_name, Cell* found,
                    HiveDamage* damage) const;
  std::optional<HiveName> NameOf(Cell key_cell, HiveDamage* damage) const;

  std::string name_;
  std::string owned_;
  const void* mapping_ = nullptr;
  size_t mapped_size_ = 0;
  std::string_view bytes_;
  std::string_view bins_;  // the hive bins data as far as the file holds it
  HiveHeader header_;
};

}  // namespace tarnscan::platform
