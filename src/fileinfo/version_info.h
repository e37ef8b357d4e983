// The version facts of a file and the company suffix that ends almost
// every file line of the report (" (Microsoft Corporation)").
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>

#include "main/scan_log.h"
#include "platform/file_facts.h"
#include "platform/file_system.h"

namespace tarnscan {

// Every text is 8-bit ANSI and empty when the file does not supply it.
struct TFileVersionInfo {
  std::string ShellTypeName;  // at most 80 characters
  std::string CompanyName;
  std::string FileDescription;
  std::string FileVersion;
  std::string InternalName;
  std::string LegalCopyright;
  std::string LegalTrademarks;
  std::string OriginalFilename;
  std::string ProductName;
  std::string ProductVersion;
  std::string Comments;
  std::string SpecialBuild;
  std::string PrivateBuild;
  std::string FileTypeText;
  bool IsDebug = false;
  bool IsPreRelease = false;
  bool IsSpecialBuild = false;
  bool IsPrivateBuild = false;
  bool IsPatched = false;
  bool IsInfoInferred = false;
};

// The file has version data but no fixed file information in it.
class VersionInfoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads the facts of one file; a missing file or one without version data
// gives empty texts. Throws VersionInfoError (see above).
TFileVersionInfo ReadFileVersionInfo(const platform::FileFacts& facts, std::string_view path);

// The text for dwFileType / dwFileSubtype of VS_FIXEDFILEINFO.
std::string FileTypeText(uint32_t file_type, uint32_t file_subtype);

// The facts of the files one scan names. Many sections name the same file
// (a DLL registered under several keys); each state of a file, told apart
// by its size and last-write time, is read once, so every line about it
// carries the same company.
class FileFactsCache {
 public:
  // Keeps references: both must outlive the cache.
  FileFactsCache(const platform::FileFacts& facts, const platform::FileSystem& files)
      : facts_(facts), files_(files) {}

  // As ReadFileVersionInfo, failure included.
  TFileVersionInfo Read(std::string_view path);

 private:
  using Key = std::tuple<std::string, uint64_t, platform::FileTime>;
  struct Entry {
    TFileVersionInfo info;
    std::optional<std::string> failure;
  };

  const platform::FileFacts& facts_;
  const platform::FileSystem& files_;
  std::map<Key, Entry> entries_;
};

// " (" + company + ")" for the file `path`; "[Detail Data unreadable]" when
// its facts cannot be read. Callers write the path and append this.
std::string FileWithCompany(FileFactsCache& cache, std::string_view path);

// Appends `line` + " (" + company + ")" to the log. When the facts of
// `path` cannot be read, appends nothing and the VersionInfoError passes
// to the caller.
void LogFileWithCompany(FileFactsCache& cache, std::string_view path, std::string line,
                        ScanLog& log);

}  // namespace tarnscan
