#include "platform/offline/hive_registry.h"

#include <algorithm>
#include <iostream>
#include <set>

#include "platform/offline/registry_views.h"
#include "platform/text.h"

namespace tarnscan::platform {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

std::string Join(RootKey root, const std::vector<std::string_view>& parts) {
  std::string path(RootKeyName(root));
  for (auto part : parts) {
    path += '\\';
    path += part;
  }
  return path;
}

// RegQueryValueExA: string data converted from UTF-16 to the code page,
// every other type as stored. An odd last byte is no UTF-16 unit and is
// dropped, as the conversion of the ANSI functions drops it.
std::string AnsiData(uint32_t type, std::string data, const CodePage& code_page) {
  if (!IsStringType(type)) return data;
  const size_t units = data.size() / 2;
  bool ascii = true;
  for (size_t i = 0; i < units && ascii; ++i) {
    ascii = data[2 * i + 1] == 0 && static_cast<unsigned char>(data[2 * i]) < 0x80;
  }
  if (ascii) {
    std::string narrow(units, '\0');
    for (size_t i = 0; i < units; ++i) narrow[i] = data[2 * i];
    return narrow;
  }
  return code_page.FromUtf16(Utf16FromLittleEndian(std::string_view(data).substr(0, units * 2)));
}

}  // namespace

void WarnOnStderr(const std::string& line) { std::cerr << "tarnscan: " << line << '\n'; }

struct HiveRegistry::Resolved {
  std::shared_ptr<const Hive> hive;
  std::optional<HiveKeyNode> node;
  std::vector<std::string> mounted_children;
  std::string where;
};

namespace {

class HiveKey final : public RegistryKey {
 public:
  HiveKey(const HiveRegistry& registry, std::shared_ptr<const Hive> hive,
          std::optional<HiveKeyNode> node, std::vector<std::string> mounted_children,
          std::string where)
      : registry_(registry),
        hive_(std::move(hive)),
        node_(node),
        mounted_children_(std::move(mounted_children)),
        where_(std::move(where)) {}

  std::vector<std::string> SubKeyNames() const override {
    std::vector<std::string> names;
    if (node_) {
      std::vector<Cell> cells;
      HiveDamage damage;
      if (!hive_->Subkeys(*node_, cells, &damage)) registry_.Warn(*hive_, damage, where_);
      names.reserve(cells.size());
      for (Cell cell : cells) {
        const auto child = hive_->Key(cell, &damage);
        if (!child) {
          registry_.Warn(*hive_, damage, where_ + "\\<subkey>");
          continue;
        }
        names.push_back(registry_.NarrowName(child->name));
      }
    }
    // Keys mounted here replace any stored key of the same name and take
    // their place in the sorted order.
    for (const auto& mounted : mounted_children_) {
      std::erase_if(names, [&](const std::string& n) { return EqualsIgnoreCase(n, mounted); });
      const auto at = std::find_if(names.begin(), names.end(), [&](const std::string& n) {
        return CompareIgnoreCase(n, mounted) > 0;
      });
      names.insert(at, mounted);
    }
    return names;
  }

  std::vector<std::string> ValueNames() const override {
    std::vector<std::string> names;
    ForEachValue([&](const HiveValueNode& value) {
      names.push_back(registry_.NarrowName(value.name));
      return true;
    });
    return names;
  }

  std::optional<RegistryValue> Value(std::string_view name) const override {
    const std::u16string upper = registry_.UpperName(name);
    std::optional<RegistryValue> found;
    ForEachValue([&](const HiveValueNode& value) {
      if (!NamesEqual(upper, value.name)) return true;
      HiveDamage damage;
      auto data = hive_->ValueData(value, &damage);
      if (!data) {
        registry_.Warn(*hive_, damage, where_ + " value '" + std::string(name) + "'");
        return false;
      }
      found =
          RegistryValue{value.type, AnsiData(value.type, std::move(*data), registry_.code_page())};
      return false;
    });
    return found;
  }

 private:
  template <typename Visit>
  void ForEachValue(Visit visit) const {
    if (!node_) return;
    std::vector<Cell> cells;
    HiveDamage damage;
    if (!hive_->Values(*node_, cells, &damage)) registry_.Warn(*hive_, damage, where_);
    for (Cell cell : cells) {
      const auto value = hive_->Value(cell, &damage);
      if (!value) {
        registry_.Warn(*hive_, damage, where_ + " <value>");
        continue;
      }
      if (!visit(*value)) return;
    }
  }

  const HiveRegistry& registry_;
  std::shared_ptr<const Hive> hive_;
  std::optional<HiveKeyNode> node_;
  std::vector<std::string> mounted_children_;
  std::string where_;
};

}  // namespace

HiveRegistry::HiveRegistry(const CodePage& code_page, HiveWarningSink warn)
    : code_page_(code_page), warn_(std::move(warn)) {}

HiveRegistry::~HiveRegistry() = default;

void HiveRegistry::Mount(RootKey root, std::string_view path, std::shared_ptr<const Hive> hive) {
  const Cell cell = hive->Root();
  MountPoint mount{root, {}, std::move(hive), cell};
  for (auto part : SplitKeyPath(path).value_or(std::vector<std::string_view>{})) {
    mount.parts.emplace_back(part);
  }
  mounts_.push_back(std::move(mount));
}

void HiveRegistry::MountEmpty(RootKey root, std::string_view path) {
  MountPoint mount{root, {}, nullptr, 0};
  for (auto part : SplitKeyPath(path).value_or(std::vector<std::string_view>{})) {
    mount.parts.emplace_back(part);
  }
  mounts_.push_back(std::move(mount));
}

bool HiveRegistry::MountAlias(RootKey root, std::string_view path, RootKey target_root,
                              std::string_view target_path) {
  const auto target_parts = SplitKeyPath(target_path);
  if (!target_parts) return false;
  const auto target = Resolve(target_root, *target_parts);
  if (!target || !target->hive || !target->node) return false;
  MountPoint mount{root, {}, target->hive, target->node->cell};
  for (auto part : SplitKeyPath(path).value_or(std::vector<std::string_view>{})) {
    mount.parts.emplace_back(part);
  }
  mounts_.push_back(std::move(mount));
  return true;
}

std::u16string HiveRegistry::UpperName(std::string_view name) const {
  std::u16string wide;
  if (IsAscii(name)) {
    wide.assign(name.begin(), name.end());
  } else {
    wide = code_page_.ToUtf16(name);
  }
  for (auto& c : wide) c = UpcaseUnit(c);
  return wide;
}

std::string HiveRegistry::NarrowName(const HiveName& name) const {
  if (const auto ascii = name.Ascii()) return std::string(*ascii);
  return code_page_.FromUtf16(name.Utf16());
}

void HiveRegistry::Warn(const Hive& hive, const HiveDamage& damage, std::string_view where) const {
  {
    std::lock_guard lock(warned_mutex_);
    if (!warned_.emplace(&hive, damage.cell).second) return;
  }
  warn_("warning: registry hive " + hive.Name() + " is damaged at " + std::string(where) + " (" +
        damage.what + "); it is taken as missing");
}

std::optional<HiveRegistry::Resolved> HiveRegistry::Resolve(
    RootKey root, const std::vector<std::string_view>& parts) const {
  auto is_prefix = [&](const std::vector<std::string>& prefix) {
    if (prefix.size() > parts.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      if (!EqualsIgnoreCase(prefix[i], parts[i])) return false;
    }
    return true;
  };
  Resolved resolved;
  resolved.where = Join(root, parts);
  bool lies_above_a_mount = false;
  const MountPoint* best = nullptr;
  for (const auto& mount : mounts_) {
    if (mount.root != root) continue;
    if (is_prefix(mount.parts)) {
      if (best == nullptr || mount.parts.size() > best->parts.size()) best = &mount;
      continue;
    }
    // A mount below the path: the path exists at least as its parent.
    bool below = mount.parts.size() > parts.size();
    for (size_t i = 0; below && i < parts.size(); ++i) {
      below = EqualsIgnoreCase(mount.parts[i], parts[i]);
    }
    if (!below) continue;
    lies_above_a_mount = true;
    const std::string& name = mount.parts[parts.size()];
    const bool known =
        std::any_of(resolved.mounted_children.begin(), resolved.mounted_children.end(),
                    [&](const std::string& n) { return EqualsIgnoreCase(n, name); });
    if (!known) resolved.mounted_children.push_back(name);
  }
  if (best != nullptr && best->hive) {
    const Hive& hive = *best->hive;
    HiveDamage damage;
    auto node = hive.Key(best->cell, &damage);
    // The cells on the way down: a list that leads back to one of them is
    // a loop, which would make the key endlessly deep.
    std::vector<Cell> visited;
    for (size_t i = best->parts.size(); node && i < parts.size(); ++i) {
      visited.push_back(node->cell);
      Cell child = 0;
      const auto lookup = hive.FindSubkey(*node, UpperName(parts[i]), &child, &damage);
      if (lookup == Hive::Lookup::kMissing) {
        node.reset();
        break;
      }
      if (lookup == Hive::Lookup::kFound &&
          std::find(visited.begin(), visited.end(), child) != visited.end()) {
        damage = {child, "a subkey list leads back to a key above it"};
        node.reset();
      } else if (lookup == Hive::Lookup::kFound) {
        node = hive.Key(child, &damage);
      } else {
        node.reset();
      }
      if (!node) {
        Warn(hive, damage, Join(root, {parts.begin(), parts.begin() + i + 1}));
        return lies_above_a_mount ? std::optional(std::move(resolved)) : std::nullopt;
      }
    }
    if (!node && damage.what.empty()) {
      return lies_above_a_mount ? std::optional(std::move(resolved)) : std::nullopt;
    }
    if (!node) {
      Warn(hive, damage, resolved.where);
      return std::nullopt;
    }
    resolved.hive = best->hive;
    resolved.node = node;
    return resolved;
  }
  if (best != nullptr) {
    // An empty mounted key has nothing below it but other mounts.
    if (best->parts.size() == parts.size() || lies_above_a_mount) return resolved;
    return std::nullopt;
  }
  if (lies_above_a_mount || parts.empty()) return resolved;
  return std::nullopt;
}

std::unique_ptr<RegistryKey> HiveRegistry::Open(RootKey root, std::string_view path, Access) const {
  if (root == RootKey::kClassesRoot) return OpenClasses(path);
  const auto parts = SplitKeyPath(path);
  if (!parts) return nullptr;
  auto resolved = Resolve(root, *parts);
  if (!resolved) return nullptr;
  return std::make_unique<HiveKey>(*this, std::move(resolved->hive), resolved->node,
                                   std::move(resolved->mounted_children),
                                   std::move(resolved->where));
}

std::unique_ptr<RegistryKey> HiveRegistry::OpenClasses(std::string_view path) const {
  const auto parts = SplitKeyPath(path);
  if (!parts) return nullptr;
  std::string below;
  for (auto part : *parts) {
    below += '\\';
    below += part;
  }
  auto user = Open(RootKey::kCurrentUser, "Software\\Classes" + below, Access::kRead);
  auto machine = Open(RootKey::kLocalMachine, "SOFTWARE\\Classes" + below, Access::kRead);
  if (user && machine) {
    return MergeClassesKeys(std::move(user), std::move(machine));
  }
  return user ? std::move(user) : std::move(machine);
}

}  // namespace tarnscan::platform
