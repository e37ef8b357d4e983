// One line of the version-facts table, the same text whichever backend
// reads the file: the Win32 one inside Wine (test-version-facts.exe) and
// the offline one on Linux (version_facts_test.cpp) write it with this.
//
// Columns, tab-separated: file name; the translations ("-" when the
// resource has no table); the fixed file information (13 hexadecimal
// fields, "-" when missing); the twelve strings of the first translation
// ("=" and the text, "-" when missing); then what the scanner makes of
// them: company name, file type text and the six flags, or "!" and the
// error when the facts cannot be read.
#pragma once

#include <cstdio>
#include <iterator>
#include <string>

#include "fileinfo/version_info.h"
#include "platform/file_facts.h"

namespace tarnscan::testing {

inline std::string EscapeField(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        out += c;
    }
  }
  return out;
}

inline std::string Hex32(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

inline std::string VersionFactsRow(const platform::FileFacts& facts, const std::string& name,
                                   const std::string& path) {
  static const char* const kKeys[] = {
      "CompanyName",    "FileDescription", "FileVersion",      "InternalName",
      "LegalCopyRight", "LegalTradeMarks", "OriginalFileName", "ProductName",
      "ProductVersion", "Comments",        "SpecialBuild",     "PrivateBuild",
  };
  std::string row = EscapeField(name);
  const auto data = facts.LoadVersion(path);
  if (!data) return row + "\tno version data";

  const auto translations = data->Translations();
  row += '\t';
  if (!translations) {
    row += '-';
  } else {
    for (size_t i = 0; i < translations->size(); ++i)
      row += (i ? "," : "") + Hex32((*translations)[i]);
  }

  row += '\t';
  if (const auto fixed = data->Fixed()) {
    const uint32_t fields[] = {
        fixed->signature,       fixed->struc_version,      fixed->file_version_ms,
        fixed->file_version_ls, fixed->product_version_ms, fixed->product_version_ls,
        fixed->file_flags_mask, fixed->file_flags,         fixed->file_os,
        fixed->file_type,       fixed->file_subtype,       fixed->file_date_ms,
        fixed->file_date_ls};
    for (size_t i = 0; i < std::size(fields); ++i) row += (i ? "," : "") + Hex32(fields[i]);
  } else {
    row += '-';
  }

  for (const char* key : kKeys) {
    row += '\t';
    std::optional<std::string> text;
    if (translations && !translations->empty()) {
      const uint32_t first = translations->front();
      char prefix[40];
      std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", first & 0xFFFF,
                    first >> 16);
      text = data->String(prefix + std::string(key));
    }
    row += text ? "=" + EscapeField(*text) : "-";
  }

  row += '\t';
  try {
    const TFileVersionInfo info = ReadFileVersionInfo(facts, path);
    row += EscapeField(info.CompanyName) + '\t' + info.FileTypeText + '\t';
    for (bool flag : {info.IsDebug, info.IsPreRelease, info.IsSpecialBuild, info.IsPrivateBuild,
                      info.IsPatched, info.IsInfoInferred}) {
      row += flag ? '1' : '0';
    }
  } catch (const std::exception& error) {
    row += "!" + EscapeField(error.what());
  }
  return row;
}

}  // namespace tarnscan::testing
