// A registry held in memory: the backend of system folders and tests.
// Keeps the Windows rules of platform/registry.h: names fold case and keep
// the case first given, subkeys enumerate sorted case-insensitively, values
// in the order they were first written.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/text.h"

namespace tarnscan::platform {

class MemoryRegistry final : public Registry {
 public:
  struct Node {
    std::string name;
    std::map<std::string, std::unique_ptr<Node>, LessIgnoreCase> children;
    std::vector<std::pair<std::string, RegistryValue>> values;
    // Simulates a key whose ACL refuses KEY_ALL_ACCESS but grants reading.
    bool read_only = false;
  };

  MemoryRegistry();

  std::unique_ptr<RegistryKey> Open(RootKey root, std::string_view path,
                                    Access access) const override;

  // Creates the key and its parents; returns it.
  Node& CreateKey(RootKey root, std::string_view path);
  // Removes the key and everything below it; nothing when it is missing.
  void DeleteKey(RootKey root, std::string_view path);
  void SetValue(RootKey root, std::string_view path, std::string_view name, RegistryValue value);
  void DeleteValue(RootKey root, std::string_view path, std::string_view name);

  // Shorthands for fixtures: REG_SZ text (a NUL is appended) and REG_DWORD.
  void SetString(RootKey root, std::string_view path, std::string_view name,
                 std::string_view text, uint32_t type = kRegSz);
  void SetDword(RootKey root, std::string_view path, std::string_view name, uint32_t number);

  const Node* Find(RootKey root, std::string_view path) const;

 private:
  Node* FindMutable(RootKey root, std::string_view path);
  std::map<RootKey, std::unique_ptr<Node>> roots_;
};

}  // namespace tarnscan::platform
