// Shortcut (.lnk) files read without the Windows shell, for images at rest.
//
// The target is what IShellLinkA::GetPath(SLGP_UNCPRIORITY) gives after
// IPersistFile::Load, taken from the first of these that yields a path:
// 1. the link-information block: with UNC priority the share path
//    (NetName "\" CommonPathSuffix) when the link has one, else
//    LocalBasePath followed by CommonPathSuffix; the Unicode forms of
//    these strings are preferred where the block has them, as Windows NT
//    reads them;
// 2. the item ID list, when it is an absolute file-system list: "My
//    Computer", a drive ("C:\"), then folder and file items, each named by
//    its long name where the item carries one (as Explorer shows it), else
//    by its short name. Lists through other roots (Control Panel, known
//    folders, URLs, desktop-relative items) have no path offline;
// 3. the environment-variable target, as stored: Windows expands it with
//    the environment of the machine that loads the link, which offline
//    is not the scanned machine's, so the unexpanded form is the honest
//    answer ("%windir%\system32\calc.exe").
// A file that is not a shortcut, or whose structure does not hold
// together (a size or offset past its end, a string without its end),
// gives the empty string, as Load fails on it. The extra data blocks
// matter only for the environment target: a damaged one loses that alone.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/byte_source.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/shell.h"

namespace tarnscan::platform {

// The target path converted to `code_page`; empty when the bytes are not a
// shortcut or no path can be had. 8-bit strings of the file are taken as
// they are (they are in the code page of the machine that wrote them).
std::string ReadShortcutTarget(const ByteSource& file, const CodePage& code_page);

class OfflineShell final : public Shell {
 public:
  struct OpenRequest {
    std::string program;
    std::string parameters;
  };

  OfflineShell(const FileSystem& files, const CodePage& code_page);

  std::string ResolveShortcut(std::string_view lnk_path) const override;
  // Starts nothing: a scan of an image at rest must not run what it finds.
  // The request is kept so the caller (and tests) can see it.
  void Open(std::string_view program, std::string_view parameters) const override;
  std::optional<OpenRequest> LastOpened() const;

 private:
  const FileSystem& files_;
  const CodePage& code_page_;
  mutable std::mutex mutex_;
  mutable std::optional<OpenRequest> last_opened_;
};

}  // namespace tarnscan::platform
