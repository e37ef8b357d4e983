#include "platform/memory/memory_registry.h"

#include <algorithm>

namespace tarnscan::platform {
namespace {

using Node = MemoryRegistry::Node;

class MemoryKey final : public RegistryKey {
 public:
  explicit MemoryKey(const Node& node) : node_(node) {}

  std::vector<std::string> SubKeyNames() const override {
    std::vector<std::string> names;
    names.reserve(node_.children.size());
    for (const auto& [key, child] : node_.children) names.push_back(child->name);
    return names;
  }

  std::vector<std::string> ValueNames() const override {
    std::vector<std::string> names;
    names.reserve(node_.values.size());
    for (const auto& [name, value] : node_.values) names.push_back(name);
    return names;
  }

  std::optional<RegistryValue> Value(std::string_view name) const override {
    for (const auto& [value_name, value] : node_.values) {
      if (EqualsIgnoreCase(value_name, name)) return value;
    }
    return std::nullopt;
  }

 private:
  // Keys are never changed while a scan reads them.
  const Node& node_;
};

}  // namespace

MemoryRegistry::MemoryRegistry() {
  for (RootKey root : {RootKey::kClassesRoot, RootKey::kCurrentUser, RootKey::kLocalMachine,
                       RootKey::kUsers, RootKey::kPerformanceData, RootKey::kCurrentConfig,
                       RootKey::kDynData}) {
    roots_[root] = std::make_unique<Node>();
    roots_[root]->name = std::string(RootKeyName(root));
  }
}

const Node* MemoryRegistry::Find(RootKey root, std::string_view path) const {
  return const_cast<MemoryRegistry*>(this)->FindMutable(root, path);
}

Node* MemoryRegistry::FindMutable(RootKey root, std::string_view path) {
  const auto parts = SplitKeyPath(path);
  if (!parts) return nullptr;
  Node* node = roots_.at(root).get();
  for (auto part : *parts) {
    const auto it = node->children.find(part);
    if (it == node->children.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

std::unique_ptr<RegistryKey> MemoryRegistry::Open(RootKey root, std::string_view path,
                                                  Access access) const {
  const Node* node = Find(root, path);
  if (node == nullptr) return nullptr;
  if (node->read_only && access == Access::kAllAccess) return nullptr;
  return std::make_unique<MemoryKey>(*node);
}

Node& MemoryRegistry::CreateKey(RootKey root, std::string_view path) {
  Node* node = roots_.at(root).get();
  const auto parts = SplitKeyPath(path);
  if (!parts) return *node;
  for (auto part : *parts) {
    auto it = node->children.find(part);
    if (it == node->children.end()) {
      auto child = std::make_unique<Node>();
      child->name = std::string(part);
      it = node->children.emplace(std::string(part), std::move(child)).first;
    }
    node = it->second.get();
  }
  return *node;
}

void MemoryRegistry::DeleteKey(RootKey root, std::string_view path) {
  const auto parts = SplitKeyPath(path);
  if (!parts || parts->empty()) return;
  Node* node = roots_.at(root).get();
  for (size_t i = 0; i + 1 < parts->size(); ++i) {
    const auto it = node->children.find((*parts)[i]);
    if (it == node->children.end()) return;
    node = it->second.get();
  }
  node->children.erase(std::string(parts->back()));
}

void MemoryRegistry::SetValue(RootKey root, std::string_view path, std::string_view name,
                              RegistryValue value) {
  Node& node = CreateKey(root, path);
  for (auto& [value_name, existing] : node.values) {
    if (EqualsIgnoreCase(value_name, name)) {
      existing = std::move(value);
      return;
    }
  }
  node.values.emplace_back(std::string(name), std::move(value));
}

void MemoryRegistry::DeleteValue(RootKey root, std::string_view path, std::string_view name) {
  Node* node = FindMutable(root, path);
  if (node == nullptr) return;
  auto& values = node->values;
  std::erase_if(values, [&](const auto& entry) { return EqualsIgnoreCase(entry.first, name); });
}

void MemoryRegistry::SetString(RootKey root, std::string_view path, std::string_view name,
                               std::string_view text, uint32_t type) {
  RegistryValue value{type, std::string(text)};
  value.data.push_back('\0');
  SetValue(root, path, name, std::move(value));
}

void MemoryRegistry::SetDword(RootKey root, std::string_view path, std::string_view name,
                              uint32_t number) {
  std::string data(4, '\0');
  for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
  SetValue(root, path, name, RegistryValue{kRegDword, std::move(data)});
}

}  // namespace tarnscan::platform
