#include "platform/registry.h"

#include <array>

#include "platform/text.h"

namespace tarnscan::platform {
namespace {

struct RootName {
  RootKey root;
  std::string_view long_name;
  std::string_view short_name;
};

constexpr std::array<RootName, 7> kRootNames{{
    {RootKey::kClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RootKey::kCurrentUser, "HKEY_CURRENT_USER", "HKCU"},
    {RootKey::kLocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RootKey::kUsers, "HKEY_USERS", "HKU"},
    {RootKey::kPerformanceData, "HKEY_PERFORMANCE_DATA", ""},
    {RootKey::kCurrentConfig, "HKEY_CURRENT_CONFIG", "HKCC"},
    {RootKey::kDynData, "HKEY_DYN_DATA", ""},
}};

}  // namespace

std::string_view RootKeyName(RootKey root) {
  for (const auto& entry : kRootNames) {
    if (entry.root == root) return entry.long_name;
  }
  return {};
}

std::optional<RootKey> ParseRootKeyName(std::string_view name) {
  for (const auto& entry : kRootNames) {
    if (EqualsIgnoreCase(name, entry.long_name) ||
        (!entry.short_name.empty() && EqualsIgnoreCase(name, entry.short_name))) {
      return entry.root;
    }
  }
  return std::nullopt;
}

std::optional<std::vector<std::string_view>> SplitKeyPath(std::string_view path) {
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return std::vector<std::string_view>{};
  auto parts = Split(path, '\\');
  for (auto part : parts) {
    if (part.empty()) return std::nullopt;
  }
  return parts;
}

}  // namespace tarnscan::platform
