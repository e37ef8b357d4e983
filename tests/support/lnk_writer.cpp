#include "support/lnk_writer.h"

#include "platform/byte_source.h"
#include "platform/codepage.h"
#include "platform/text.h"

namespace tarnscan::testing {
namespace {

using platform::AppendLe16;
using platform::AppendLe32;
using platform::PutLe16;
using platform::PutLe32;

constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHeaderSize = 0x4C;
constexpr char kShellLinkClsid[] =
    "\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46";
constexpr char kMyComputerClsid[] =
    "\xE0\x4F\xD0\x20\xEA\x3A\x69\x10\xA2\xD8\x08\x00\x2B\x30\x30\x9D";
constexpr char kControlPanelClsid[] =
    "\x20\x20\xEC\x21\xEA\x3A\x69\x10\xA2\xDD\x08\x00\x2B\x30\x30\x9D";
constexpr size_t kClsidSize = 16;


void AppendAnsiZ(std::string& out, std::string_view text) {
  out += text;
  out.push_back('\0');
}

void AppendUtf16(std::string& out, std::u16string_view text) {
  for (char16_t c : text) AppendLe16(out, c);
}

void AppendUtf16Z(std::string& out, std::u16string_view text) {
  AppendUtf16(out, text);
  AppendLe16(out, 0);
}

std::string Header(uint32_t flags) {
  std::string out;
  AppendLe32(out, kHeaderSize);
  out.append(kShellLinkClsid, kClsidSize);
  AppendLe32(out, flags);
  AppendLe32(out, 0x20);                        // file attributes
  out.append(24, '\0');                        // three file times
  AppendLe32(out, 0);                           // file size
  AppendLe32(out, 0);                           // icon index
  AppendLe32(out, 1);                           // SW_SHOWNORMAL
  out.append(kHeaderSize - out.size(), '\0');  // hot key and reserved fields
  return out;
}

std::string IdList(const std::vector<std::string>& items) {
  std::string body;
  for (const std::string& item : items) body += item;
  AppendLe16(body, 0);
  std::string out;
  AppendLe16(out, static_cast<uint16_t>(body.size()));
  return out + body;
}

std::string VolumeId() {
  std::string out;
  AppendLe32(out, 0x11);
  AppendLe32(out, 3);  // DRIVE_FIXED
  AppendLe32(out, 0x1234ABCD);
  AppendLe32(out, 0x10);  // the label follows
  out.push_back('\0');
  return out;
}

std::string NetworkLink(const LinkInfoSpec& spec) {
  const bool unicode = spec.net_name_unicode.has_value();
  const uint32_t header_size = unicode ? 0x1C : 0x14;
  std::string strings;
  const uint32_t net_name = header_size;
  AppendAnsiZ(strings, *spec.net_name);
  const uint32_t device_name = spec.device_name ? header_size + strings.size() : 0;
  if (spec.device_name) AppendAnsiZ(strings, *spec.device_name);
  uint32_t net_name_unicode = 0;
  if (unicode) {
    net_name_unicode = header_size + strings.size();
    AppendUtf16Z(strings, *spec.net_name_unicode);
  }
  std::string out;
  AppendLe32(out, header_size + strings.size());
  AppendLe32(out, (spec.device_name ? 1 : 0) | 2);  // ValidDevice, ValidNetType
  AppendLe32(out, net_name);
  AppendLe32(out, device_name);
  AppendLe32(out, 0x20000);  // WNNC_NET_LANMAN
  if (unicode) {
    AppendLe32(out, net_name_unicode);
    AppendLe32(out, 0);
  }
  return out + strings;
}

std::string LinkInfo(const LinkInfoSpec& spec) {
  const bool unicode = spec.local_base_path_unicode || spec.common_path_suffix_unicode;
  const uint32_t header_size = unicode ? 0x24 : 0x1C;
  uint32_t flags = 0;
  uint32_t volume_id = 0;
  uint32_t local_base_path = 0;
  uint32_t network_link = 0;
  uint32_t local_base_path_unicode = 0;
  uint32_t common_path_suffix_unicode = 0;
  std::string body;
  if (spec.local_base_path) {
    flags |= 1;
    volume_id = header_size + body.size();
    body += VolumeId();
    local_base_path = header_size + body.size();
    AppendAnsiZ(body, *spec.local_base_path);
  }
  if (spec.net_name) {
    flags |= 2;
    network_link = header_size + body.size();
    body += NetworkLink(spec);
  }
  const uint32_t common_path_suffix = header_size + body.size();
  AppendAnsiZ(body, spec.common_path_suffix);
  if (spec.local_base_path_unicode) {
    local_base_path_unicode = header_size + body.size();
    AppendUtf16Z(body, *spec.local_base_path_unicode);
  }
  if (spec.common_path_suffix_unicode) {
    common_path_suffix_unicode = header_size + body.size();
    AppendUtf16Z(body, *spec.common_path_suffix_unicode);
  }
  std::string out;
  AppendLe32(out, header_size + body.size());
  AppendLe32(out, header_size);
  AppendLe32(out, flags);
  AppendLe32(out, volume_id);
  AppendLe32(out, local_base_path);
  AppendLe32(out, network_link);
  AppendLe32(out, common_path_suffix);
  if (unicode) {
    AppendLe32(out, local_base_path_unicode);
    AppendLe32(out, common_path_suffix_unicode);
  }
  return out + body;
}

void AppendCountedString(std::string& out, std::u16string_view text, bool unicode) {
  AppendLe16(out, static_cast<uint16_t>(text.size()));
  if (unicode) {
    AppendUtf16(out, text);
  } else {
    for (char16_t c : text) out.push_back(static_cast<char>(c));
  }
}

std::string EnvironmentBlock(const ShortcutSpec& spec) {
  std::string out;
  AppendLe32(out, 0x314);
  AppendLe32(out, 0xA0000001);
  std::string ansi = spec.environment_target_ansi.value_or("").substr(0, 259);
  ansi.resize(260, '\0');
  out += ansi;
  std::string wide;
  AppendUtf16(wide, spec.environment_target_unicode.value_or(u"").substr(0, 259));
  wide.resize(520, '\0');
  return out + wide;
}

// An 8.3 name for a long one, good enough for test items.
std::string ShortNameFor(std::string_view long_name) {
  std::string name;
  for (char c : long_name) {
    if (static_cast<unsigned char>(c) < 0x80 && c != ' ') name.push_back(platform::AsciiUpper(c));
  }
  if (name.size() > 12 || name.size() != long_name.size()) name = name.substr(0, 6) + "~1";
  return name;
}

}  // namespace


LinkInfoSpec LocalLinkInfo(std::string base_path, std::string suffix) {
  LinkInfoSpec spec;
  spec.local_base_path = std::move(base_path);
  spec.common_path_suffix = std::move(suffix);
  return spec;
}

LinkInfoSpec NetworkLinkInfo(std::string net_name, std::string suffix) {
  LinkInfoSpec spec;
  spec.net_name = std::move(net_name);
  spec.common_path_suffix = std::move(suffix);
  return spec;
}

ShortcutBytes WriteShortcut(const ShortcutSpec& spec) {
  uint32_t flags = spec.more_flags;
  if (spec.id_list) flags |= kLnkHasIdList;
  if (spec.link_info) flags |= kLnkHasLinkInfo;
  if (spec.name) flags |= kLnkHasName;
  if (spec.arguments) flags |= kHasArguments;
  if (spec.unicode_strings) flags |= kLnkIsUnicode;
  const bool environment = spec.environment_target_ansi || spec.environment_target_unicode;
  if (environment) flags |= kLnkHasExpString;

  ShortcutBytes out;
  out.bytes = Header(flags);
  if (spec.id_list) {
    out.id_list = out.bytes.size();
    out.bytes += IdList(*spec.id_list);
  }
  if (spec.link_info) {
    out.link_info = out.bytes.size();
    out.bytes += LinkInfo(*spec.link_info);
  }
  out.string_data = out.bytes.size();
  if (spec.name) AppendCountedString(out.bytes, *spec.name, spec.unicode_strings);
  if (spec.arguments) AppendCountedString(out.bytes, *spec.arguments, spec.unicode_strings);
  out.extra_data = out.bytes.size();
  for (const std::string& block : spec.extra_blocks) out.bytes += block;
  if (environment) out.bytes += EnvironmentBlock(spec);
  if (spec.terminal_block) AppendLe32(out.bytes, 0);
  return out;
}

std::string ShellItem(uint8_t type, std::string_view body) {
  std::string out;
  AppendLe16(out, static_cast<uint16_t>(3 + body.size()));
  out.push_back(static_cast<char>(type));
  out += body;
  return out;
}

std::string MyComputerItem() {
  return ShellItem(0x1F, std::string("\x50") + std::string(kMyComputerClsid, kClsidSize));
}

std::string ControlPanelItem() {
  return ShellItem(0x1F, std::string("\x80") + std::string(kControlPanelClsid, kClsidSize));
}

std::string DriveItem(char letter) {
  std::string body = {letter, ':', '\\'};
  body.resize(22, '\0');
  return ShellItem(0x2F, body);
}

std::string FileItem(std::string_view short_name, std::u16string_view long_name, bool folder,
                     uint16_t version) {
  std::string item(4, '\0');           // size and type (set below), then a zero byte
  AppendLe32(item, folder ? 0 : 1234);  // file size
  AppendLe32(item, 0x5A2B3C4D);         // DOS date and time
  AppendLe16(item, folder ? 0x10 : 0x20);
  AppendAnsiZ(item, short_name);
  if (item.size() % 2) item.push_back('\0');
  if (version != 0) {
    const size_t extension = item.size();
    std::string block;
    AppendLe16(block, 0);  // size, set below
    AppendLe16(block, version);
    AppendLe32(block, 0xBEEF0004);
    AppendLe32(block, 0x5A2B3C4D);  // created
    AppendLe32(block, 0x5A2B3C4D);  // accessed
    AppendLe16(block, version >= 9 ? 0x2E : version >= 8 ? 0x2A : version >= 7 ? 0x26 : 0x14);
    const size_t name_offset = version >= 9 ? 46 : version >= 8 ? 42 : version >= 7 ? 38 : 20;
    block.resize(name_offset, '\0');
    AppendUtf16Z(block, long_name);
    AppendLe16(block, static_cast<uint16_t>(extension));
    PutLe16(block, 0, static_cast<uint16_t>(block.size()));
    item += block;
  }
  PutLe16(item, 0, static_cast<uint16_t>(item.size()));
  item[2] = static_cast<char>(folder ? 0x31 : 0x32);
  return item;
}

std::string UnicodeFileItem(std::u16string_view name, bool folder) {
  std::string body(1, '\0');
  AppendLe32(body, folder ? 0 : 1234);
  AppendLe32(body, 0x5A2B3C4D);
  AppendLe16(body, folder ? 0x10 : 0x20);
  AppendUtf16Z(body, name);
  return ShellItem(folder ? 0x35 : 0x36, body);
}

std::vector<std::string> IdListForPath(std::string_view path) {
  std::vector<std::string> items = {MyComputerItem(), DriveItem(path.at(0))};
  const auto names = platform::Split(path.substr(3), '\\');
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) continue;
    items.push_back(
        FileItem(ShortNameFor(names[i]), platform::Utf8ToUtf16(names[i]), i + 1 < names.size()));
  }
  return items;
}

std::string MakeLocalShortcut(std::string_view target) {
  ShortcutSpec spec;
  spec.id_list = IdListForPath(target);
  spec.link_info = LocalLinkInfo(std::string(target));
  return WriteShortcut(spec).bytes;
}

std::string MakeNetworkShortcut(std::string_view net_name, std::string_view suffix) {
  ShortcutSpec spec;
  spec.link_info = NetworkLinkInfo(std::string(net_name), std::string(suffix));
  return WriteShortcut(spec).bytes;
}

}  // namespace tarnscan::testing
