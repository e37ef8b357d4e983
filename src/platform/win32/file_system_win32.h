// The live file system through FindFirstFileA / FindNextFileA and an
// exclusive CreateFileA, with names in the system's ANSI code page.
#pragma once

#include <string>

#include "platform/file_system.h"

namespace tarnscan::platform {

class Win32FileSystem final : public FileSystem {
 public:
  // Entries in the order FindNextFileA gives them (sorted on NTFS).
  std::vector<FileEntry> List(std::string_view folder, std::string_view mask) const override;
  std::optional<FileEntry> Stat(std::string_view path) const override;
  std::unique_ptr<InputFile> OpenExclusive(std::string_view path) const override;
};

// The whole file, read through a shared open (the patterns list, the
// AddOn files). Throws FileError.
std::string ReadWholeFile(const std::string& path);

// Writes beside the target and moves the new file over it, so that a
// failed write never leaves half a report. Throws FileError, whose
// message names the file and gives Windows' reason.
void SaveFileAtomically(const std::string& path, std::string_view bytes);

// The full path of a name relative to the current folder.
std::string FullPath(const std::string& path);

// The folder of the running program, ending in a backslash.
std::string ProgramFolder();

}  // namespace tarnscan::platform
