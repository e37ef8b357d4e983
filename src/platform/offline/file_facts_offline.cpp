#include "platform/offline/file_facts_offline.h"

#include "platform/offline/pe_version.h"
#include "platform/text.h"

namespace tarnscan::platform {
namespace {

// SHFILEINFO keeps the type name in 80 characters.
constexpr size_t kTypeNameLength = 80;

std::string_view Extension(std::string_view path) {
  const std::string_view name = SplitPath(path).second;
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

}  // namespace

std::unique_ptr<VersionData> OfflineFileFacts::LoadVersion(std::string_view path) const {
  const auto entry = files_.Stat(path);
  if (!entry || entry->IsDirectory()) return nullptr;
  try {
    const auto file = files_.OpenExclusive(path);
    return ReadVersionResource(*file, code_page_);
  } catch (const FileError&) {
    return nullptr;
  }
}

std::optional<std::string> OfflineFileFacts::ShellTypeName(std::string_view path) const {
  const auto entry = files_.Stat(path);
  if (!entry) return std::nullopt;
  std::string name;
  if (entry->IsDirectory()) {
    name = "File Folder";
  } else if (const std::string_view extension = Extension(path); extension.empty()) {
    name = "File";
  } else {
    name = ClassDescription(extension);
    // What Explorer shows for a type no program has registered.
    if (name.empty()) name = UpperCase(extension) + " File";
  }
  if (name.size() > kTypeNameLength) name.resize(kTypeNameLength);
  return name;
}

std::string OfflineFileFacts::ClassDescription(std::string_view extension) const {
  const std::string file_class = DefaultString("SOFTWARE\\Classes\\." + std::string(extension));
  if (file_class.empty()) return {};
  return DefaultString("SOFTWARE\\Classes\\" + file_class);
}

// The key's unnamed value when it is a string, up to its first NUL.
std::string OfflineFileFacts::DefaultString(std::string_view key_path) const {
  const auto key = registry_.Open(RootKey::kLocalMachine, key_path, Access::kRead);
  if (!key) return {};
  const auto value = key->Value("");
  if (!value || value->type != kRegSz) return {};
  return value->data.substr(0, value->data.find('\0'));
}

}  // namespace tarnscan::platform
