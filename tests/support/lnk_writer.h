// Writes shortcut (.lnk) files for tests: the layout Windows writes, with
// every part optional so a test can make the links real data lacks
// (Unicode link information, share links, damaged files).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::testing {

// Link flags a test may add by hand.
enum : uint32_t {
  kLnkHasIdList = 0x01,
  kLnkHasLinkInfo = 0x02,
  kLnkHasName = 0x04,
  kLnkIsUnicode = 0x80,
  kLnkForceNoLinkInfo = 0x100,
  kLnkHasExpString = 0x200,
};

// The link-information block. 8-bit strings are written as given; any
// Unicode string makes it the longer header that carries them.
struct LinkInfoSpec {
  std::optional<std::string> local_base_path;
  std::optional<std::u16string> local_base_path_unicode;
  std::optional<std::string> net_name;  // "\\server\share"
  std::optional<std::u16string> net_name_unicode;
  std::optional<std::string> device_name;  // "Z:"
  std::string common_path_suffix;
  std::optional<std::u16string> common_path_suffix_unicode;
};

LinkInfoSpec LocalLinkInfo(std::string base_path, std::string suffix = "");
LinkInfoSpec NetworkLinkInfo(std::string net_name, std::string suffix = "");

struct ShortcutSpec {
  std::optional<std::vector<std::string>> id_list;  // items made by the functions below
  std::optional<LinkInfoSpec> link_info;
  std::optional<std::u16string> name;  // the description, in the string data
  std::optional<std::u16string> arguments;
  bool unicode_strings = true;
  std::optional<std::string> environment_target_ansi;
  std::optional<std::u16string> environment_target_unicode;
  std::vector<std::string> extra_blocks;  // written before the environment block
  uint32_t more_flags = 0;                // or-ed into the flags the parts imply
  bool terminal_block = true;
};

// The bytes and where each part starts (0 for a part left out), so a test
// can damage one field.
struct ShortcutBytes {
  std::string bytes;
  size_t id_list = 0;  // at the list's size field
  size_t link_info = 0;
  size_t string_data = 0;
  size_t extra_data = 0;
};

ShortcutBytes WriteShortcut(const ShortcutSpec& spec);

// Items of an ID list, each with its size field.
std::string ShellItem(uint8_t type, std::string_view body);
std::string MyComputerItem();
std::string ControlPanelItem();
std::string DriveItem(char letter);
// A file or folder item as Windows XP and later write it: the 8-bit short
// name, then an extension block of `version` (3, 7, 8 or 9) holding the
// long name; version 0 writes no extension block.
std::string FileItem(std::string_view short_name, std::u16string_view long_name, bool folder,
                     uint16_t version = 9);
// A file or folder item with a UTF-16 name and no extension block.
std::string UnicodeFileItem(std::u16string_view name, bool folder);
// The list for an absolute path "C:\dir\file.exe" (long names only).
std::vector<std::string> IdListForPath(std::string_view path);

// A shortcut to a file of a local drive, as Explorer writes one: ID list
// and link information.
std::string MakeLocalShortcut(std::string_view target);
// A shortcut to a file on a share: link information only.
std::string MakeNetworkShortcut(std::string_view net_name, std::string_view suffix);

}  // namespace tarnscan::testing
