// What Windows knows about a file beyond its directory entry: the version
// resource (GetFileVersionInfoSizeA / GetFileVersionInfoA / VerQueryValueA)
// and the type name the shell shows (SHGetFileInfoA with SHGFI_TYPENAME).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::platform {

// VS_FIXEDFILEINFO, field for field.
struct FixedFileInfo {
  uint32_t signature = 0;
  uint32_t struc_version = 0;
  uint32_t file_version_ms = 0;
  uint32_t file_version_ls = 0;
  uint32_t product_version_ms = 0;
  uint32_t product_version_ls = 0;
  uint32_t file_flags_mask = 0;
  uint32_t file_flags = 0;
  uint32_t file_os = 0;
  uint32_t file_type = 0;
  uint32_t file_subtype = 0;
  uint32_t file_date_ms = 0;
  uint32_t file_date_ls = 0;
};

// The version data of one file, as GetFileVersionInfoA fills its buffer;
// the queries are those of VerQueryValueA. Sub-block keys match without
// regard to case.
class VersionData {
 public:
  virtual ~VersionData() = default;
  // The root block "\"; nullopt when the data holds no fixed information.
  virtual std::optional<FixedFileInfo> Fixed() const = 0;
  // "\VarFileInfo\Translation": each entry is the language in the low word
  // and the code page in the high word. nullopt when there is no table.
  virtual std::optional<std::vector<uint32_t>> Translations() const = 0;
  // A string such as "\StringFileInfo\040904B0\CompanyName", converted to
  // the ANSI code page and cut at its first NUL. nullopt when not found.
  virtual std::optional<std::string> String(std::string_view sub_block) const = 0;
};

class FileFacts {
 public:
  virtual ~FileFacts() = default;
  // nullptr when GetFileVersionInfoSizeA would give 0: no file, no
  // version resource, or the file cannot be read.
  virtual std::unique_ptr<VersionData> LoadVersion(std::string_view path) const = 0;
  // The shell's type name; nullopt when the path names no file or folder.
  virtual std::optional<std::string> ShellTypeName(std::string_view path) const = 0;
};

}  // namespace tarnscan::platform
