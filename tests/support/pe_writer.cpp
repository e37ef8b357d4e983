#include "support/pe_writer.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "platform/byte_source.h"
#include "platform/codepage.h"

namespace tarnscan::testing {
namespace {

using platform::AppendLe16;
using platform::AppendLe32;
using platform::PutLe16;
using platform::PutLe32;

constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kResourceRva = 0x2000;
constexpr uint32_t kTextOffset = 0x200;
constexpr uint32_t kResourceOffset = 0x400;
constexpr uint32_t kNtOffset = 0x80;


void PadTo(std::string& out, size_t alignment) {
  while (out.size() % alignment != 0) out.push_back('\0');
}

uint32_t AlignUp(uint32_t value, uint32_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) AppendLe16(bytes, c);
  return bytes;
}

std::string Utf16Z(std::string_view utf8) {
  return Utf16Bytes(platform::Utf8ToUtf16(utf8)) + std::string(2, '\0');
}

// A version block: header, key, value and children, each part aligned to
// 32 bits; wLength counts everything but the padding after the block.
std::string Block(bool wide, std::string_view key_utf8, std::string_view value,
                  uint16_t value_length, uint16_t type, const std::vector<std::string>& children) {
  std::string out;
  AppendLe16(out, 0);
  AppendLe16(out, value_length);
  if (wide) {
    AppendLe16(out, type);
    out += Utf16Z(key_utf8);
  } else {
    out += key_utf8;
    out.push_back('\0');
  }
  PadTo(out, 4);
  out += value;
  for (const std::string& child : children) {
    PadTo(out, 4);
    out += child;
  }
  PutLe16(out, 0, static_cast<uint16_t>(out.size()));
  return out;
}

std::string FixedInfoBytes(const platform::FixedFileInfo& fixed) {
  std::string out;
  for (uint32_t word : {kFixedSignature, fixed.struc_version, fixed.file_version_ms,
                        fixed.file_version_ls, fixed.product_version_ms, fixed.product_version_ls,
                        fixed.file_flags_mask, fixed.file_flags, fixed.file_os, fixed.file_type,
                        fixed.file_subtype, fixed.file_date_ms, fixed.file_date_ls}) {
    AppendLe32(out, word);
  }
  return out;
}

std::string TableKey(const VersionStrings& table) {
  char key[16];
  std::snprintf(key, sizeof key, "%04X%04X", table.language, table.code_page);
  return key;
}

std::string BuildVersion(const VersionSpec& spec, bool wide) {
  std::vector<std::string> tables;
  for (const VersionStrings& table : spec.tables) {
    std::vector<std::string> strings;
    for (const auto& [key, value] : table.strings) {
      if (wide) {
        const std::string text = Utf16Z(value);
        strings.push_back(Block(true, key, text, static_cast<uint16_t>(text.size() / 2), 1, {}));
      } else {
        const std::string text = value + '\0';
        strings.push_back(Block(false, key, text, static_cast<uint16_t>(text.size()), 0, {}));
      }
    }
    tables.push_back(Block(wide, TableKey(table), "", 0, 1, strings));
  }
  std::vector<std::string> children;
  if (!tables.empty()) children.push_back(Block(wide, "StringFileInfo", "", 0, 1, tables));
  if (spec.translations) {
    std::string value;
    for (const auto& [language, code_page] : *spec.translations) {
      AppendLe16(value, language);
      AppendLe16(value, code_page);
    }
    const auto var = Block(wide, "Translation", value, static_cast<uint16_t>(value.size()), 0, {});
    children.push_back(Block(wide, "VarFileInfo", "", 0, 1, {var}));
  }
  const std::string fixed = spec.with_fixed_info ? FixedInfoBytes(spec.fixed) : "";
  return Block(wide, "VS_VERSION_INFO", fixed, static_cast<uint16_t>(fixed.size()), 0, children);
}

// ---------------------------------------------------------------------------
// The resource section: a three-level directory (type, name, language),
// then the data entries, the entry names and the data.

// Named entries sort before numbered ones, as the format requires.
using EntryKey = std::tuple<bool, std::u16string, uint16_t>;

EntryKey KeyOf(bool is_type, const PeResource& r) {
  if (is_type) return {true, u"", r.type};
  if (!r.name.empty()) return {false, platform::Utf8ToUtf16(r.name), 0};
  return {true, u"", r.id};
}

using LanguageMap = std::map<uint16_t, const PeResource*>;
using NameMap = std::map<EntryKey, LanguageMap>;
using TypeMap = std::map<EntryKey, NameMap>;

class ResourceSectionWriter {
 public:
  explicit ResourceSectionWriter(const std::vector<PeResource>& resources) {
    for (const PeResource& r : resources) {
      tree_[KeyOf(true, r)][KeyOf(false, r)][r.language] = &r;
    }
  }

  std::string Write() {
    Layout();
    size_t type_index = 0;
    size_t name_dir = 0;
    size_t data_index = 0;
    std::vector<std::pair<EntryKey, uint32_t>> root_entries;
    for (const auto& [type_key, names] : tree_) {
      root_entries.push_back({type_key, 0x80000000u | type_dirs_[type_index]});
      std::vector<std::pair<EntryKey, uint32_t>> name_entries;
      for (const auto& [name_key, languages] : names) {
        name_entries.push_back({name_key, 0x80000000u | name_dirs_[name_dir]});
        std::vector<std::pair<EntryKey, uint32_t>> language_entries;
        for (const auto& [language, resource] : languages) {
          const uint32_t entry_at = data_entries_ + 16 * static_cast<uint32_t>(data_index);
          language_entries.push_back({EntryKey{true, u"", language}, entry_at});
          PutLe32(out_, entry_at, kResourceRva + data_at_[data_index]);
          PutLe32(out_, entry_at + 4, static_cast<uint32_t>(resource->bytes.size()));
          out_.replace(data_at_[data_index], resource->bytes.size(), resource->bytes);
          ++data_index;
        }
        WriteEntries(name_dirs_[name_dir], language_entries);
        ++name_dir;
      }
      WriteEntries(type_dirs_[type_index], name_entries);
      ++type_index;
    }
    WriteEntries(0, root_entries);
    return out_;
  }

 private:
  static uint32_t DirectorySize(size_t entries) { return 16 + 8 * static_cast<uint32_t>(entries); }

  void Layout() {
    uint32_t at = DirectorySize(tree_.size());
    for (const auto& [type_key, names] : tree_) {
      type_dirs_.push_back(at);
      at += DirectorySize(names.size());
    }
    size_t data_count = 0;
    for (const auto& [type_key, names] : tree_) {
      for (const auto& [name_key, languages] : names) {
        name_dirs_.push_back(at);
        at += DirectorySize(languages.size());
        data_count += languages.size();
      }
    }
    data_entries_ = at;
    at += 16 * static_cast<uint32_t>(data_count);
    for (const auto& [type_key, names] : tree_) {
      for (const auto& [name_key, languages] : names) {
        if (std::get<0>(name_key)) continue;
        const std::u16string& name = std::get<1>(name_key);
        name_at_[name] = at;
        at += 2 + 2 * static_cast<uint32_t>(name.size());
      }
    }
    for (const auto& [type_key, names] : tree_) {
      for (const auto& [name_key, languages] : names) {
        for (const auto& [language, resource] : languages) {
          at = AlignUp(at, 8);
          data_at_.push_back(at);
          at += static_cast<uint32_t>(resource->bytes.size());
        }
      }
    }
    out_.assign(at, '\0');
    for (const auto& [name, name_offset] : name_at_) {
      PutLe16(out_, name_offset, static_cast<uint32_t>(name.size()));
      out_.replace(name_offset + 2, name.size() * 2, Utf16Bytes(name));
    }
  }

  void WriteDirectory(size_t at, size_t named, size_t numbered) {
    PutLe16(out_, at + 12, static_cast<uint32_t>(named));
    PutLe16(out_, at + 14, static_cast<uint32_t>(numbered));
  }

  void WriteEntries(size_t at, const std::vector<std::pair<EntryKey, uint32_t>>& entries) {
    size_t named = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      const auto& [key, target] = entries[i];
      uint32_t name = std::get<2>(key);
      if (!std::get<0>(key)) {
        name = 0x80000000u | name_at_.at(std::get<1>(key));
        ++named;
      }
      PutLe32(out_, at + 16 + 8 * i, name);
      PutLe32(out_, at + 16 + 8 * i + 4, target);
    }
    WriteDirectory(at, named, entries.size() - named);
  }

  TypeMap tree_;
  std::vector<uint32_t> type_dirs_;
  std::vector<uint32_t> name_dirs_;
  uint32_t data_entries_ = 0;
  std::map<std::u16string, uint32_t> name_at_;
  std::vector<uint32_t> data_at_;
  std::string out_;
};

std::string DosHeader(uint32_t next_header) {
  std::string out(0x40, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  PutLe16(out, 0x02, 0x90);  // bytes on the last page
  PutLe16(out, 0x04, 3);     // pages
  PutLe16(out, 0x08, 4);     // header paragraphs
  PutLe16(out, 0x18, 0x40);  // relocation table: a new-format executable
  PutLe32(out, 0x3C, next_header);
  return out;
}

}  // namespace

VersionSpec CompanyVersion(std::string_view company) {
  VersionSpec spec;
  spec.fixed.struc_version = 0x00010000;
  spec.fixed.file_version_ms = 0x00010002;
  spec.fixed.file_version_ls = 0x00030004;
  spec.fixed.product_version_ms = 0x00010002;
  spec.fixed.product_version_ls = 0x00030004;
  spec.fixed.file_flags_mask = 0x3F;
  spec.fixed.file_os = 0x00040004;  // VOS_NT_WINDOWS32
  spec.fixed.file_type = 1;
  VersionStrings table;
  table.strings = {{"CompanyName", std::string(company)},
                   {"FileVersion", "1.2.3.4"},
                   {"ProductName", "Example Product"}};
  spec.tables.push_back(std::move(table));
  spec.translations = {{0x0409, 1252}};
  return spec;
}

std::string BuildVersionBlock(const VersionSpec& spec) { return BuildVersion(spec, true); }
std::string BuildVersionBlock16(const VersionSpec& spec) { return BuildVersion(spec, false); }

std::string MakePe(const PeSpec& spec) {
  const std::string resources =
      spec.resources.empty() ? std::string() : ResourceSectionWriter(spec.resources).Write();
  const uint32_t resource_raw = AlignUp(static_cast<uint32_t>(resources.size()), kFileAlignment);
  const uint32_t optional_size = spec.pe32_plus ? 240 : 224;

  std::string out = DosHeader(kNtOffset);
  out.resize(kNtOffset, '\0');
  out += std::string("PE\0\0", 4);
  const size_t file_header = out.size();
  PutLe16(out, file_header, spec.pe32_plus ? 0x8664 : 0x014C);
  PutLe16(out, file_header + 2, 2);  // sections
  PutLe16(out, file_header + 16, optional_size);
  PutLe16(out, file_header + 18, spec.pe32_plus ? 0x2022 : 0x2102);  // DLL, executable

  const size_t opt = file_header + 20;
  out.resize(opt + optional_size, '\0');
  PutLe16(out, opt, spec.pe32_plus ? 0x20B : 0x10B);
  out[opt + 2] = 2;                     // linker version
  PutLe32(out, opt + 4, kFileAlignment);  // SizeOfCode
  PutLe32(out, opt + 8, resource_raw);    // SizeOfInitializedData
  PutLe32(out, opt + 16, kTextRva);       // AddressOfEntryPoint
  PutLe32(out, opt + 20, kTextRva);       // BaseOfCode
  PutLe32(out, opt + 32, kSectionAlignment);
  PutLe32(out, opt + 36, kFileAlignment);
  PutLe16(out, opt + 40, 4);  // OS version 4.0
  PutLe16(out, opt + 48, 4);  // subsystem version 4.0
  PutLe32(out, opt + 56, kResourceRva + AlignUp(std::max(resource_raw, 1u), kSectionAlignment));
  PutLe32(out, opt + 60, kTextOffset);  // SizeOfHeaders
  PutLe16(out, opt + 68, 2);            // Windows GUI
  PutLe32(out, opt + 72, 0x100000);     // stack reserve
  size_t directories = 0;
  if (spec.pe32_plus) {
    PutLe32(out, opt + 28, 0x1);  // ImageBase 0x180000000
    PutLe32(out, opt + 24, 0x80000000u);
    PutLe32(out, opt + 80, 0x1000);    // stack commit
    PutLe32(out, opt + 88, 0x100000);  // heap reserve
    PutLe32(out, opt + 96, 0x1000);    // heap commit
    PutLe32(out, opt + 108, 16);       // NumberOfRvaAndSizes
    directories = opt + 112;
  } else {
    PutLe32(out, opt + 24, kResourceRva);  // BaseOfData
    PutLe32(out, opt + 28, 0x10000000u);   // ImageBase
    PutLe32(out, opt + 76, 0x1000);
    PutLe32(out, opt + 80, 0x100000);
    PutLe32(out, opt + 84, 0x1000);
    PutLe32(out, opt + 92, 16);
    directories = opt + 96;
  }
  if (!resources.empty()) {
    PutLe32(out, directories + 2 * 8, kResourceRva);
    PutLe32(out, directories + 2 * 8 + 4, static_cast<uint32_t>(resources.size()));
  }

  const size_t sections = opt + optional_size;
  auto section = [&](size_t at, const char* name, uint32_t rva, uint32_t size, uint32_t raw_size,
                     uint32_t raw_offset, uint32_t characteristics) {
    out.resize(at + 40, '\0');
    out.replace(at, std::char_traits<char>::length(name), name);
    PutLe32(out, at + 8, size);
    PutLe32(out, at + 12, rva);
    PutLe32(out, at + 16, raw_size);
    PutLe32(out, at + 20, raw_offset);
    PutLe32(out, at + 36, characteristics);
  };
  section(sections, ".text", kTextRva, 1, kFileAlignment, kTextOffset, 0x60000020);
  section(sections + 40, ".rsrc", kResourceRva, static_cast<uint32_t>(resources.size()),
          resource_raw, kResourceOffset, 0x40000040);

  out.resize(kTextOffset, '\0');
  out.push_back('\xC3');  // ret
  out.resize(kResourceOffset, '\0');
  out += resources;
  out.resize(kResourceOffset + resource_raw, '\0');
  return out;
}

std::string MakePeWithVersion(const VersionSpec& version, bool pe32_plus) {
  PeSpec spec;
  spec.pe32_plus = pe32_plus;
  spec.resources.push_back({16, 1, "", 0x0409, BuildVersionBlock(version)});
  return MakePe(spec);
}

std::string MakePeWithCompany(std::string_view company, bool pe32_plus) {
  return MakePeWithVersion(CompanyVersion(company), pe32_plus);
}

std::string MakeNeWithVersionBlock(std::string_view block) {
  constexpr uint32_t kNeOffset = 0x40;
  constexpr uint16_t kShift = 4;
  std::string out = DosHeader(kNeOffset);

  // Resource table (right after the 64-byte NE header), then the resident
  // names, then the data on a 16-byte boundary.
  std::string table;
  AppendLe16(table, kShift);
  AppendLe16(table, 0x8010);  // RT_VERSION
  AppendLe16(table, 1);
  AppendLe32(table, 0);
  const size_t name_info = table.size();
  table.resize(name_info + 12, '\0');
  AppendLe16(table, 0);  // end of types
  AppendLe16(table, 0);  // no resource names
  std::string names;
  names.push_back(4);
  names += "TEST";
  AppendLe16(names, 0);
  names.push_back('\0');

  const uint32_t table_at = 0x40;
  const uint32_t names_at = table_at + static_cast<uint32_t>(table.size());
  const uint32_t after_names = names_at + static_cast<uint32_t>(names.size());
  const uint32_t data_at = AlignUp(kNeOffset + after_names, 1u << kShift);
  PutLe16(table, name_info, data_at >> kShift);
  PutLe16(table, name_info + 2, AlignUp(static_cast<uint32_t>(block.size()), 1u << kShift) >> kShift);
  PutLe16(table, name_info + 4, 0x0030);  // moveable, pure
  PutLe16(table, name_info + 6, 0x8001);  // VS_VERSION_INFO

  std::string header(0x40, '\0');
  header[0] = 'N';
  header[1] = 'E';
  header[2] = 5;                     // linker version
  PutLe16(header, 0x04, after_names);  // entry table (empty)
  PutLe16(header, 0x0C, 0x8300);       // library, protected mode
  PutLe16(header, 0x22, 0x40);         // segment table (empty)
  PutLe16(header, 0x24, table_at);     // resource table
  PutLe16(header, 0x26, names_at);     // resident names
  PutLe16(header, 0x28, after_names);  // module references
  PutLe16(header, 0x2A, after_names);  // imported names
  PutLe16(header, 0x32, kShift);       // segment alignment shift
  header[0x36] = 2;                  // Windows
  PutLe16(header, 0x3E, 0x030A);       // expected Windows version 3.10

  out += header;
  out += table;
  out += names;
  out.resize(data_at, '\0');
  out += block;
  out.resize(AlignUp(static_cast<uint32_t>(out.size()), 1u << kShift), '\0');
  return out;
}

}  // namespace tarnscan::testing
