// A file's version resource through GetFileVersionInfoSizeA,
// GetFileVersionInfoA and VerQueryValueA, and its type name through
// SHGetFileInfoA, as the live system reports them.
#pragma once

#include "platform/file_facts.h"

namespace tarnscan::platform {

class Win32FileFacts final : public FileFacts {
 public:
  std::unique_ptr<VersionData> LoadVersion(std::string_view path) const override;
  std::optional<std::string> ShellTypeName(std::string_view path) const override;
};

}  // namespace tarnscan::platform
