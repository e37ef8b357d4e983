#include "platform/registry_reader.h"

#include <cstring>

namespace tarnscan::platform {

std::string InvalidDataTypeMessage(std::string_view name) {
  return "Invalid data type for '" + std::string(name) + "'";
}

namespace {

std::string GetDataFailedMessage(std::string_view name) {
  return "Failed to get data for '" + std::string(name) + "'";
}

RegDataType ClassOf(uint32_t type) {
  switch (type) {
    case kRegSz:
      return RegDataType::kString;
    case kRegExpandSz:
      return RegDataType::kExpandString;
    case kRegDword:
      return RegDataType::kInteger;
    case kRegBinary:
      return RegDataType::kBinary;
    default:
      return RegDataType::kUnknown;
  }
}

}  // namespace

RegistryReader::RegistryReader(const Registry& registry, Access access)
    : registry_(registry), access_(access) {}

void RegistryReader::SetRoot(RootKey root) {
  if (root != root_) {
    CloseKey();
    root_ = root;
  }
}

bool RegistryReader::OpenKey(std::string_view path) {
  const bool relative = path.empty() || path.front() != '\\';
  if (!relative) path.remove_prefix(1);
  std::string full;
  if (relative && key_ != nullptr) {
    full = path_.empty() ? std::string(path) : path_ + "\\" + std::string(path);
  } else {
    full = std::string(path);
  }
  auto opened = registry_.Open(root_, full, access_);
  if (opened == nullptr) return false;
  key_ = std::move(opened);
  path_ = std::move(full);
  return true;
}

void RegistryReader::CloseKey() {
  key_.reset();
  path_.clear();
}

std::vector<std::string> RegistryReader::SubKeyNames() const {
  return key_ ? key_->SubKeyNames() : std::vector<std::string>{};
}

std::vector<std::string> RegistryReader::ValueNames() const {
  return key_ ? key_->ValueNames() : std::vector<std::string>{};
}

std::optional<RegistryValue> RegistryReader::RawValue(std::string_view name) const {
  if (key_ == nullptr) return std::nullopt;
  return key_->Value(name);
}

bool RegistryReader::ValueExists(std::string_view name) const { return RawValue(name).has_value(); }

std::string RegistryReader::ReadString(std::string_view name) const {
  const auto value = RawValue(name);
  if (!value || value->data.empty()) return {};
  const RegDataType kind = ClassOf(value->type);
  if (kind != RegDataType::kString && kind != RegDataType::kExpandString) {
    throw RegistryError(InvalidDataTypeMessage(name));
  }
  const size_t nul = value->data.find('\0');
  return value->data.substr(0, nul);
}

int32_t RegistryReader::ReadInteger(std::string_view name) const {
  const auto value = RawValue(name);
  // RegQueryValueEx into a 4-byte buffer fails for a missing value and for
  // larger data; TRegistry turns both into this error.
  if (!value || value->data.size() > 4) throw RegistryError(GetDataFailedMessage(name));
  if (ClassOf(value->type) != RegDataType::kInteger) {
    throw RegistryError(InvalidDataTypeMessage(name));
  }
  uint32_t raw = 0;
  std::memcpy(&raw, value->data.data(), value->data.size());
  return static_cast<int32_t>(raw);
}

std::string RegistryReader::ReadBinary(std::string_view name) const {
  const auto value = RawValue(name);
  if (!value) return {};
  const RegDataType kind = ClassOf(value->type);
  if (kind != RegDataType::kBinary && kind != RegDataType::kUnknown) {
    throw RegistryError(InvalidDataTypeMessage(name));
  }
  return value->data;
}

int64_t RegistryReader::DataSize(std::string_view name) const {
  const auto value = RawValue(name);
  return value ? static_cast<int64_t>(value->data.size()) : -1;
}

RegDataType RegistryReader::DataType(std::string_view name) const {
  const auto value = RawValue(name);
  return value ? ClassOf(value->type) : RegDataType::kUnknown;
}

}  // namespace tarnscan::platform
