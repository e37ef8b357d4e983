// The file system addressed by Windows paths ("C:\WINDOWS\system32\x.dll").
//
// Windows semantics kept by every backend:
// - Names compare without regard to case; a listing gives the names as
//   stored, in the file system's own order (NTFS: sorted by upper-cased
//   name; the in-memory backend sorts the same way).
// - FindFirstFileA masks: "*" any run, "?" any one character (or none at
//   the end of the name or before a dot), "*.*" everything, matched
//   without regard to case (WildcardMatch below).
// - Times are FILETIMEs in UTC; the clock converts them to the scanned
//   system's local time.
// - "." and ".." are never listed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_source.h"

namespace tarnscan::platform {

enum : uint32_t {
  kAttrReadOnly = 0x01,
  kAttrHidden = 0x02,
  kAttrSystem = 0x04,
  kAttrVolume = 0x08,
  kAttrDirectory = 0x10,
  kAttrArchive = 0x20,
  kAttrNormal = 0x80,
  kAttrReparsePoint = 0x400,
};

// 100-nanosecond intervals since 1601-01-01 UTC, as in a FILETIME.
using FileTime = int64_t;

struct FileEntry {
  std::string name;  // without folder
  uint32_t attributes = 0;
  uint64_t size = 0;
  FileTime last_write = 0;
  bool IsDirectory() const { return (attributes & kAttrDirectory) != 0; }
};

// An open file. Exclusive files are opened with no sharing, as
// CreateFileA(GENERIC_READ, share 0) does.
class InputFile : public ByteSource {
 public:
  // Sequential read from the current position; returns the bytes read.
  virtual size_t Read(void* out, size_t count) = 0;
};

class FileError : public std::exception {
 public:
  explicit FileError(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Entries of `folder` whose names match `mask`, folders included.
  // Empty when the folder does not exist.
  virtual std::vector<FileEntry> List(std::string_view folder, std::string_view mask) const = 0;
  // Facts of one file or folder; nullopt when nothing has that path.
  virtual std::optional<FileEntry> Stat(std::string_view path) const = 0;
  // Opens a file for reading with no sharing. Throws FileError (the
  // message names the path) when it is missing, a folder, or in use.
  virtual std::unique_ptr<InputFile> OpenExclusive(std::string_view path) const = 0;

  bool FileExists(std::string_view path) const;
  bool FolderExists(std::string_view path) const;
  // The lines of a text file without their line ends, as LineSplitter
  // (text.h) cuts them. Throws FileError.
  std::vector<std::string> ReadLines(std::string_view path) const;
};

// FindFirstFileA's long-name mask rules, case-insensitive.
bool WildcardMatch(std::string_view mask, std::string_view name);

// Splits "C:\a\b.txt" into "C:\a" and "b.txt"; a path without a backslash
// has an empty folder.
std::pair<std::string_view, std::string_view> SplitPath(std::string_view path);

}  // namespace tarnscan::platform
