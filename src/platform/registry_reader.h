// A registry reader with the behaviour of Delphi's TRegistry, which every
// registry section is written against: a root, at most one open key, reads
// that turn a missing key or value into empty text, and one error for a
// value of the wrong type.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace tarnscan::platform {

// ERegistryException: a value read as the wrong type. The message is the
// report's own text, "Invalid data type for '<name>'".
class RegistryError : public std::runtime_error {
 public:
  explicit RegistryError(const std::string& message) : std::runtime_error(message) {}
};

// TRegDataType: the class of a value's type.
enum class RegDataType { kUnknown, kString, kExpandString, kInteger, kBinary };

class RegistryReader {
 public:
  // A new reader starts on HKEY_CURRENT_USER with no key open, and asks for
  // KEY_ALL_ACCESS, as TRegistry.Create does.
  explicit RegistryReader(const Registry& registry, Access access = Access::kAllAccess);

  RootKey Root() const { return root_; }
  // Changing the root closes the open key.
  void SetRoot(RootKey root);
  // Opens without creating. A path without a leading backslash is taken
  // below the open key when one is open, else below the root. On failure
  // the reader keeps its previous state and false is returned.
  bool OpenKey(std::string_view path);
  void CloseKey();
  bool HasKey() const { return key_ != nullptr; }
  const std::string& CurrentPath() const { return path_; }

  // Names in enumeration order; empty when no key is open.
  std::vector<std::string> SubKeyNames() const;
  std::vector<std::string> ValueNames() const;
  bool ValueExists(std::string_view name) const;

  // ReadString: string and expandable-string data up to the first NUL;
  // empty when no key is open, the value is missing or holds no data;
  // RegistryError for any other type that holds data.
  std::string ReadString(std::string_view name) const;
  // ReadInteger: a DWORD; 0 when missing; RegistryError for other types.
  int32_t ReadInteger(std::string_view name) const;
  // ReadBinaryData: the raw bytes of any value; empty when missing.
  std::string ReadBinary(std::string_view name) const;
  // GetDataSize: -1 when missing.
  int64_t DataSize(std::string_view name) const;
  RegDataType DataType(std::string_view name) const;
  // The raw value, for callers that dump every type.
  std::optional<RegistryValue> RawValue(std::string_view name) const;

 private:
  const Registry& registry_;
  Access access_;
  RootKey root_ = RootKey::kCurrentUser;
  std::unique_ptr<RegistryKey> key_;
  std::string path_;
};

std::string InvalidDataTypeMessage(std::string_view name);

}  // namespace tarnscan::platform
