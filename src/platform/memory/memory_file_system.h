// A file system held in memory, with file contents either given as bytes
// or taken from a file of the host (the drive folders of a system folder).
// Paths are Windows paths; "/" is accepted as a separator, doubled
// separators are ignored, as Windows ignores them.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/file_system.h"
#include "platform/text.h"

namespace tarnscan::platform {

class MemoryFileSystem final : public FileSystem {
 public:
  struct Node {
    FileEntry entry;
    std::map<std::string, std::unique_ptr<Node>, LessIgnoreCase> children;
    std::string bytes;
    std::string host_path;  // when set, the content is read from there
    bool locked = false;    // another program holds it open
  };

  std::vector<FileEntry> List(std::string_view folder, std::string_view mask) const override;
  std::optional<FileEntry> Stat(std::string_view path) const override;
  std::unique_ptr<InputFile> OpenExclusive(std::string_view path) const override;

  // Creates the folder and its parents.
  Node& AddFolder(std::string_view path, uint32_t attributes = kAttrDirectory, FileTime time = 0);
  Node& AddFile(std::string_view path, std::string bytes, uint32_t attributes = kAttrArchive,
                FileTime time = 0);
  Node& AddHostFile(std::string_view path, std::string host_path, uint64_t size,
                    uint32_t attributes = kAttrArchive, FileTime time = 0);
  // nullptr when nothing has that path.
  Node* Find(std::string_view path);

 private:
  const Node* FindConst(std::string_view path) const;
  Node& AddNode(std::string_view path, bool folder);

  std::map<std::string, std::unique_ptr<Node>, LessIgnoreCase> drives_;
};

}  // namespace tarnscan::platform
