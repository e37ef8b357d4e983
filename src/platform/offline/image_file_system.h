// The files of a Windows system at rest (a mounted image, a copied drive),
// addressed by Windows paths. Each drive letter is a folder of this
// machine; the components of a path are matched without regard to case,
// as NTFS matches them, through listings of the host folders that are
// read once and kept.
//
// Names on the host are UTF-8 (ntfs-3g, Samba); they reach the scanner in
// the system's ANSI code page. Attributes come from the NTFS attribute
// word that ntfs-3g shows as the "system.ntfs_attrib_be" extended
// attribute, or from Samba's "user.DOSATTRIB", else read-only is taken
// from the permissions. Files are only ever opened for reading.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace tarnscan::platform {

// The DOS attributes of a host file from its extended attributes; nullopt
// when it has none of the known ones.
std::optional<uint32_t> HostDosAttributes(const std::string& host_path);
// Samba's user.DOSATTRIB value: "0x20" text, or its binary form.
std::optional<uint32_t> ParseDosAttrib(std::string_view value);

class ImageFileSystem final : public FileSystem {
 public:
  // The code page must outlive the file system.
  explicit ImageFileSystem(const CodePage& code_page);

  // Maps a drive letter to a host folder.
  void AddDrive(char letter, std::string host_root);

  std::vector<FileEntry> List(std::string_view folder, std::string_view mask) const override;
  std::optional<FileEntry> Stat(std::string_view path) const override;
  std::unique_ptr<InputFile> OpenExclusive(std::string_view path) const override;

  // The host path of a Windows path; nullopt when nothing has that path.
  std::optional<std::string> HostPath(std::string_view path) const;

 private:
  struct Name {
    std::string host;
    std::string ansi;
    std::u16string upper;  // how NTFS compares it
  };
  struct Listing {
    std::vector<Name> names;  // sorted as NTFS sorts: by upper-cased name
  };

  const Listing& ListHost(const std::string& host_dir) const;
  std::optional<FileEntry> EntryOf(const std::string& host_path, std::string name) const;

  const CodePage& code_page_;
  std::map<char, std::string> drives_;
  mutable std::mutex mutex_;
  mutable std::map<std::string, Listing> listings_;
};

}  // namespace tarnscan::platform
