#include "addon/registry_checks.h"

#include <cstdint>

#include "platform/registry_reader.h"

namespace tarnscan {
namespace {

using platform::RegDataType;
using platform::RegistryError;
using platform::RegistryReader;
using platform::RootKey;

// Windows nests keys 512 deep at most; a deeper path comes from a damaged
// image and is treated like a key that does not open.
constexpr int kMaxKeyDepth = 512;

// FormatMessage's text for ERROR_FILE_NOT_FOUND, what RegOpenKeyEx gives
// for a key that is gone.
constexpr const char* kKeyGoneMessage = "The system cannot find the file specified.";

std::string_view LastComponent(std::string_view path) {
  const size_t cut = path.rfind('\\');
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The empty path is the root itself; its sub-keys need no separator.
std::string SubKeyPath(std::string_view path, std::string_view name) {
  std::string sub(path);
  if (!sub.empty() && sub.back() != '\\') sub += '\\';
  return sub + std::string(name);
}

std::string BinaryText(std::string_view data) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(data.size() * 3);
  for (const char c : data) {
    const auto byte = static_cast<uint8_t>(c);
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
    text += ' ';
  }
  return text;
}

// Multi-strings and the types without a text form: the NUL-ended pieces up
// to the first empty one, each followed by ";". A last piece that no NUL
// ends is not shown.
std::string PiecesText(std::string_view data) {
  std::string text;
  size_t start = 0;
  while (start < data.size()) {
    const size_t nul = data.find('\0', start);
    if (nul == std::string_view::npos || nul == start) break;
    text.append(data.substr(start, nul - start));
    text += ';';
    start = nul + 1;
  }
  return text;
}

void DumpKey(ScanContext& context, RootKey root, std::string_view key_path,
             std::string_view parent_display, std::string_view option, int depth) {
  std::string display(parent_display);
  if (!display.empty()) display += '\\';
  display += LastComponent(key_path);

  RegistryReader reader(*context.system.registry);
  reader.SetRoot(root);
  if (depth > kMaxKeyDepth || !reader.OpenKey(key_path)) {
    context.log.Add("  Key not found");
    return;
  }
  const auto value_names = reader.ValueNames();
  const auto sub_keys = reader.SubKeyNames();
  for (const auto& name : value_names) {
    context.log.Add("  " + display + "\\\\" + name + " - " +
                    RegValueText(*context.system.registry, root, key_path, name));
  }
  reader.CloseKey();
  for (const auto& sub_key : sub_keys) {
    if (option == "SUBKEYS") {
      DumpKey(context, root, SubKeyPath(key_path, sub_key), display, option, depth + 1);
    } else {
      context.log.Add("  \\" + sub_key);
    }
  }
}

}  // namespace

void CheckRegKey(ScanContext& context, RootKey root, std::string_view root_name,
                 std::string_view key_path, std::string_view option) {
  const std::string name = std::string(root_name) + "\\" + std::string(key_path);
  context.log.Add(name + (option == "SUBKEYS" ? " - Include SUBKEYS" : " - No SUBKEYS"));
  auto& reg = context.reg1;
  reg.CloseKey();
  reg.SetRoot(root);
  const bool exists = reg.OpenKey(key_path);
  // Reg1 only tells whether the key exists; the dump opens its own readers,
  // so Reg1 is left closed even when a value ends the scan.
  reg.CloseKey();
  if (!exists) {
    context.log.Add(name + " - not found.");
    return;
  }
  context.log.Add("[" + name + "]");
  DumpRegKey(context, root, key_path, "", option);
}

void DumpRegKey(ScanContext& context, RootKey root, std::string_view key_path,
                std::string_view parent_display, std::string_view option) {
  DumpKey(context, root, key_path, parent_display, option, 0);
}

std::string RegValueText(const platform::Registry& registry, RootKey root,
                         std::string_view key_path, std::string_view value_name) {
  RegistryReader reader(registry, platform::Access::kRead);
  reader.SetRoot(root);
  if (!reader.OpenKey(key_path)) throw RegistryError(kKeyGoneMessage);
  const auto value = reader.RawValue(value_name);
  if (!value) return {};
  switch (reader.DataType(value_name)) {
    case RegDataType::kString:
    case RegDataType::kExpandString:
      // Stored text as it is: %SystemRoot% stays unexpanded.
      return value->data.substr(0, value->data.find('\0'));
    case RegDataType::kInteger:
      // Refuses a DWORD of more than four bytes, which ends the scan.
      return std::to_string(reader.ReadInteger(value_name));
    case RegDataType::kBinary:
      return BinaryText(value->data);
    case RegDataType::kUnknown:
      break;
  }
  return PiecesText(value->data);
}

}  // namespace tarnscan
