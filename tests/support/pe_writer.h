// Small Windows executables with chosen version resources, for tests and
// fixtures: PE32 and PE32+ images with a resource section, and 16-bit NE
// modules. Texts are given as UTF-8 and stored as the format wants them
// (UTF-16 in PE version blocks).
//
//   std::string dll = MakePeWithCompany("Example Corp");
//   files.AddFile("C:\\WINDOWS\\system32\\x.dll", dll);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/file_facts.h"

namespace tarnscan::testing {

// One StringTable: the strings of one language and code page.
struct VersionStrings {
  uint16_t language = 0x0409;
  uint16_t code_page = 1252;
  std::vector<std::pair<std::string, std::string>> strings;  // key, value
};

struct VersionSpec {
  // Without it the root block has no value (wValueLength 0).
  bool with_fixed_info = true;
  platform::FixedFileInfo fixed;  // the signature is filled in by the writer
  std::vector<VersionStrings> tables;
  // "\VarFileInfo\Translation" as (language, code page) pairs; nullopt
  // leaves VarFileInfo out.
  std::optional<std::vector<std::pair<uint16_t, uint16_t>>> translations;
};

// An application (dwFileType 1), version 1.2.3.4, with CompanyName,
// FileVersion and ProductName under 0409/1252 and that translation.
VersionSpec CompanyVersion(std::string_view company);

// The VS_VERSIONINFO block of a Win32 resource (UTF-16 keys and texts).
std::string BuildVersionBlock(const VersionSpec& spec);
// The 16-bit form of NE modules: 8-bit keys and texts, taken byte for byte.
std::string BuildVersionBlock16(const VersionSpec& spec);

struct PeResource {
  uint16_t type = 16;
  uint16_t id = 1;
  std::string name;  // when set, a named entry instead of `id`
  uint16_t language = 0x0409;
  std::string bytes;
};

struct PeSpec {
  bool pe32_plus = false;
  std::vector<PeResource> resources;  // none: no resource directory at all
};

// A DLL with a .text and a .rsrc section (the resources in the second).
std::string MakePe(const PeSpec& spec);
std::string MakePeWithVersion(const VersionSpec& version, bool pe32_plus = false);
std::string MakePeWithCompany(std::string_view company, bool pe32_plus = false);

// A 16-bit module whose resource table holds the given block as
// RT_VERSION 1 (BuildVersionBlock16 for a Windows 3.x file).
std::string MakeNeWithVersionBlock(std::string_view block);

}  // namespace tarnscan::testing
