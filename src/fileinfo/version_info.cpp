#include "fileinfo/version_info.h"

#include <array>
#include <cstdio>

#include "platform/text.h"

namespace tarnscan {
namespace {

constexpr size_t kTypeNameLength = 80;
constexpr uint32_t kFlagDebug = 0x01;
constexpr uint32_t kFlagPreRelease = 0x02;
constexpr uint32_t kFlagPatched = 0x04;
constexpr uint32_t kFlagPrivateBuild = 0x08;
constexpr uint32_t kFlagInfoInferred = 0x10;
constexpr uint32_t kFlagSpecialBuild = 0x20;

// The string keys in the spelling the lookups use; the version functions
// match keys without regard to case.
struct StringField {
  const char* key;
  std::string TFileVersionInfo::*field;
};

constexpr std::array<StringField, 12> kStringFields = {{
    {"CompanyName", &TFileVersionInfo::CompanyName},
    {"FileDescription", &TFileVersionInfo::FileDescription},
    {"FileVersion", &TFileVersionInfo::FileVersion},
    {"InternalName", &TFileVersionInfo::InternalName},
    {"LegalCopyRight", &TFileVersionInfo::LegalCopyright},
    {"LegalTradeMarks", &TFileVersionInfo::LegalTrademarks},
    {"OriginalFileName", &TFileVersionInfo::OriginalFilename},
    {"ProductName", &TFileVersionInfo::ProductName},
    {"ProductVersion", &TFileVersionInfo::ProductVersion},
    {"Comments", &TFileVersionInfo::Comments},
    {"SpecialBuild", &TFileVersionInfo::SpecialBuild},
    {"PrivateBuild", &TFileVersionInfo::PrivateBuild},
}};

constexpr std::array<const char*, 11> kDriverTexts = {
    "Unknown Driver",    "Printer Driver", "Keyboard Driver",       "Language Driver",
    "Display Driver",    "Mouse Driver",   "Network Driver",        "System Driver",
    "InstallableDriver", "Sound Driver",   "Communications Driver",
};

constexpr std::array<const char*, 4> kFontTexts = {
    "Unknown Font",
    "Raster Font",
    "Vector Font",
    "Truetype Font",
};

// Only the first translation is asked for: strings stored under a later
// one alone stay unread.
std::optional<std::string> FirstTranslationString(const platform::VersionData& data,
                                                  std::string_view key) {
  const auto translations = data.Translations();
  if (!translations || translations->empty()) return std::nullopt;
  const uint32_t first = translations->front();
  char prefix[32];
  std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", first & 0xFFFF, first >> 16);
  return data.String(prefix + std::string(key));
}

void SetFlags(const platform::FixedFileInfo& fixed, TFileVersionInfo& info) {
  const uint32_t set = fixed.file_flags_mask & fixed.file_flags;
  info.IsDebug = (set & kFlagDebug) != 0;
  info.IsPreRelease = (set & kFlagPreRelease) != 0;
  info.IsPrivateBuild = (set & kFlagPrivateBuild) != 0;
  info.IsSpecialBuild = (set & kFlagSpecialBuild) != 0;
  info.IsPatched = (set & kFlagPatched) != 0;
  info.IsInfoInferred = (set & kFlagInfoInferred) != 0;
}

}  // namespace

std::string FileTypeText(uint32_t file_type, uint32_t file_subtype) {
  switch (file_type) {
    case 0:
      return "Unknown";
    case 1:
      return "Application";
    case 2:
      return "DLL";
    case 3:
      return file_subtype < kDriverTexts.size() ? kDriverTexts[file_subtype] : "";
    case 4:
      return file_subtype < kFontTexts.size() ? kFontTexts[file_subtype] : "";
    case 5: {
      char text[48];
      std::snprintf(text, sizeof text, "Virtual Defice Identifier = %08X", file_subtype);
      return text;
    }
    case 7:
      return "Static-link Library";
    default:
      return "";
  }
}

TFileVersionInfo ReadFileVersionInfo(const platform::FileFacts& facts, std::string_view path) {
  TFileVersionInfo info;
  const auto type_name = facts.ShellTypeName(path);
  if (!type_name) return info;
  info.ShellTypeName = type_name->substr(0, kTypeNameLength);

  const auto data = facts.LoadVersion(path);
  if (!data) return info;
  for (const StringField& field : kStringFields) {
    if (auto text = FirstTranslationString(*data, field.key)) info.*field.field = std::move(*text);
  }
  const auto fixed = data->Fixed();
  if (!fixed) {
    throw VersionInfoError("No fixed file information in the version data of " + std::string(path));
  }
  SetFlags(*fixed, info);
  info.FileTypeText = FileTypeText(fixed->file_type, fixed->file_subtype);
  return info;
}

TFileVersionInfo FileFactsCache::Read(std::string_view path) {
  const auto entry = files_.Stat(path);
  // Nothing there: nothing worth keeping, the answer is the empty record.
  if (!entry) return ReadFileVersionInfo(facts_, path);
  Key key{platform::UpperCase(path), entry->size, entry->last_write};
  auto found = entries_.find(key);
  if (found == entries_.end()) {
    Entry fresh;
    try {
      fresh.info = ReadFileVersionInfo(facts_, path);
    } catch (const VersionInfoError& error) {
      fresh.failure = error.what();
    }
    found = entries_.emplace(std::move(key), std::move(fresh)).first;
  }
  if (found->second.failure) throw VersionInfoError(*found->second.failure);
  return found->second.info;
}

std::string FileWithCompany(FileFactsCache& cache, std::string_view path) {
  try {
    return " (" + cache.Read(path).CompanyName + ")";
  } catch (const std::exception&) {
    // Whatever stops the read, the line still gets written.
    return "[Detail Data unreadable]";
  }
}

void LogFileWithCompany(FileFactsCache& cache, std::string_view path, std::string line,
                        ScanLog& log) {
  const TFileVersionInfo info = cache.Read(path);
  log.Add(std::move(line) + " (" + info.CompanyName + ")");
}

}  // namespace tarnscan
