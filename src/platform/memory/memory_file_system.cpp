#include "platform/memory/memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "platform/offline/host_input_file.h"

namespace tarnscan::platform {
namespace {

using Node = MemoryFileSystem::Node;

struct ParsedPath {
  std::string drive;  // "C:"
  std::vector<std::string_view> parts;
};

std::optional<ParsedPath> ParsePath(std::string_view path) {
  if (path.size() < 2 || path[1] != ':') return std::nullopt;
  ParsedPath parsed{std::string(path.substr(0, 2)), {}};
  std::string_view rest = path.substr(2);
  size_t start = 0;
  while (start <= rest.size()) {
    const size_t end = rest.find_first_of("\\/", start);
    const auto part = rest.substr(start, end == std::string_view::npos ? end : end - start);
    if (part == "..") {
      if (!parsed.parts.empty()) parsed.parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parsed.parts.push_back(part);
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parsed;
}

class BytesFile final : public InputFile {
 public:
  explicit BytesFile(std::string_view bytes) : bytes_(bytes) {}
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t offset, void* out, size_t count) const override {
    return MemoryByteSource(bytes_).ReadAt(offset, out, count);
  }
  size_t Read(void* out, size_t count) override {
    const size_t n = ReadAt(position_, out, count);
    position_ += n;
    return n;
  }

 private:
  std::string_view bytes_;
  uint64_t position_ = 0;
};

}  // namespace

const Node* MemoryFileSystem::FindConst(std::string_view path) const {
  const auto parsed = ParsePath(path);
  if (!parsed) return nullptr;
  const auto drive = drives_.find(parsed->drive);
  if (drive == drives_.end()) return nullptr;
  const Node* node = drive->second.get();
  for (auto part : parsed->parts) {
    const auto it = node->children.find(part);
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

Node* MemoryFileSystem::Find(std::string_view path) { return const_cast<Node*>(FindConst(path)); }

Node& MemoryFileSystem::AddNode(std::string_view path, bool folder) {
  const auto parsed = ParsePath(path);
  if (!parsed) throw FileError("Not a drive path: \"" + std::string(path) + "\"");
  auto& drive = drives_[parsed->drive];
  if (!drive) {
    drive = std::make_unique<Node>();
    drive->entry = {parsed->drive + "\\", kAttrDirectory, 0, 0};
  }
  Node* node = drive.get();
  for (size_t i = 0; i < parsed->parts.size(); ++i) {
    const auto part = parsed->parts[i];
    auto it = node->children.find(part);
    if (it == node->children.end()) {
      auto child = std::make_unique<Node>();
      const bool is_folder = folder || i + 1 < parsed->parts.size();
      child->entry = {std::string(part), is_folder ? kAttrDirectory : kAttrArchive, 0, 0};
      it = node->children.emplace(std::string(part), std::move(child)).first;
    }
    node = it->second.get();
  }
  return *node;
}

Node& MemoryFileSystem::AddFolder(std::string_view path, uint32_t attributes, FileTime time) {
  Node& node = AddNode(path, true);
  node.entry.attributes = attributes | kAttrDirectory;
  node.entry.last_write = time;
  return node;
}

Node& MemoryFileSystem::AddFile(std::string_view path, std::string bytes, uint32_t attributes,
                                FileTime time) {
  Node& node = AddNode(path, false);
  node.entry.attributes = attributes & ~kAttrDirectory;
  node.entry.size = bytes.size();
  node.entry.last_write = time;
  node.bytes = std::move(bytes);
  return node;
}

Node& MemoryFileSystem::AddHostFile(std::string_view path, std::string host_path, uint64_t size,
                                    uint32_t attributes, FileTime time) {
  Node& node = AddFile(path, {}, attributes, time);
  node.entry.size = size;
  node.host_path = std::move(host_path);
  return node;
}

std::vector<FileEntry> MemoryFileSystem::List(std::string_view folder,
                                              std::string_view mask) const {
  std::vector<FileEntry> entries;
  const Node* node = FindConst(folder);
  if (node == nullptr || !node->entry.IsDirectory()) return entries;
  for (const auto& [name, child] : node->children) {
    if (WildcardMatch(mask, child->entry.name)) entries.push_back(child->entry);
  }
  return entries;
}

std::optional<FileEntry> MemoryFileSystem::Stat(std::string_view path) const {
  const Node* node = FindConst(path);
  if (node == nullptr) return std::nullopt;
  return node->entry;
}

std::unique_ptr<InputFile> MemoryFileSystem::OpenExclusive(std::string_view path) const {
  const Node* node = FindConst(path);
  if (node == nullptr || node->entry.IsDirectory()) {
    throw FileError("Cannot open file \"" + std::string(path) + "\". File not found");
  }
  if (node->locked) {
    throw FileError("Cannot open file \"" + std::string(path) +
                    "\". The process cannot access the file because it is being used by "
                    "another process");
  }
  if (!node->host_path.empty()) return OpenHostFile(node->host_path, path);
  return std::make_unique<BytesFile>(node->bytes);
}

}  // namespace tarnscan::platform
