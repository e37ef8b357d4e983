// File facts of a system at rest: the version resource read from the
// file's bytes and the type name the shell would show, worked out from the
// registry's file classes as Explorer does.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/file_facts.h"
#include "platform/file_system.h"
#include "platform/registry.h"

namespace tarnscan::platform {

class OfflineFileFacts final : public FileFacts {
 public:
  // Keeps references: the three must outlive it.
  OfflineFileFacts(const FileSystem& files, const Registry& registry, const CodePage& code_page)
      : files_(files), registry_(registry), code_page_(code_page) {}

  std::unique_ptr<VersionData> LoadVersion(std::string_view path) const override;
  std::optional<std::string> ShellTypeName(std::string_view path) const override;

 private:
  // The description of a file class ("txtfile" -> "Text Document").
  std::string ClassDescription(std::string_view extension) const;
  std::string DefaultString(std::string_view key_path) const;

  const FileSystem& files_;
  const Registry& registry_;
  const CodePage& code_page_;
};

}  // namespace tarnscan::platform
