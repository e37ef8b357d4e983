#include "platform/win32/registry_win32.h"

#include <algorithm>
#include <string>

#include "platform/win32/handles.h"

namespace tarnscan::platform {
namespace {

using win32::RegKeyHandle;

// Bounds for what a damaged or hostile hive might claim.
constexpr DWORD kMaxEntries = 1'000'000;
constexpr DWORD kMaxNameBytes = 65536;
constexpr DWORD kMaxDataBytes = 256u << 20;
constexpr int kMaxQueryAttempts = 8;

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RootKey::kCurrentUser:
      return HKEY_CURRENT_USER;
    case RootKey::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RootKey::kUsers:
      return HKEY_USERS;
    case RootKey::kPerformanceData:
      return HKEY_PERFORMANCE_DATA;
    case RootKey::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RootKey::kDynData:
      return HKEY_DYN_DATA;
  }
  return HKEY_LOCAL_MACHINE;
}

// Enumerates names with `enumerate(index, buffer, length)`, growing the
// buffer when a name does not fit (an ANSI name of a double-byte code page
// can be longer than the count RegQueryInfoKeyA gives).
template <typename Enumerate>
std::vector<std::string> EnumerateNames(DWORD first_size, Enumerate enumerate) {
  std::vector<std::string> names;
  std::string buffer(std::clamp<DWORD>(first_size, 256, kMaxNameBytes), '\0');
  DWORD index = 0;
  while (index < kMaxEntries) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG result = enumerate(index, buffer.data(), &length);
    if (result == ERROR_MORE_DATA && buffer.size() < kMaxNameBytes) {
      buffer.resize(std::min<size_t>(buffer.size() * 2, kMaxNameBytes));
      continue;
    }
    if (result != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), std::min<size_t>(length, buffer.size()));
    ++index;
  }
  return names;
}

class Win32RegistryKey final : public RegistryKey {
 public:
  explicit Win32RegistryKey(RegKeyHandle key) : key_(std::move(key)) {}

  std::vector<std::string> SubKeyNames() const override {
    DWORD max_length = 0;
    RegQueryInfoKeyA(key_.Get(), nullptr, nullptr, nullptr, nullptr, &max_length, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    return EnumerateNames(max_length + 1, [&](DWORD index, char* name, DWORD* length) {
      return RegEnumKeyExA(key_.Get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
  }

  std::vector<std::string> ValueNames() const override {
    DWORD max_length = 0;
    RegQueryInfoKeyA(key_.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &max_length, nullptr, nullptr, nullptr);
    return EnumerateNames(max_length + 1, [&](DWORD index, char* name, DWORD* length) {
      return RegEnumValueA(key_.Get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
  }

  std::optional<RegistryValue> Value(std::string_view name_view) const override {
    const std::string name(name_view);
    DWORD type = 0;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) return std::nullopt;
    // The size asked for first is that of the stored (UTF-16) data; the
    // read gives the size of the converted ANSI data. The value may also
    // grow between the two calls, so the read is tried again.
    std::string data;
    for (int attempt = 0; attempt < kMaxQueryAttempts; ++attempt) {
      data.assign(std::min(std::max<DWORD>(size, 1), kMaxDataBytes), '\0');
      DWORD got = static_cast<DWORD>(data.size());
      result = RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &got);
      if (result == ERROR_SUCCESS) {
        data.resize(std::min<size_t>(got, data.size()));
        return RegistryValue{type, std::move(data)};
      }
      if (result != ERROR_MORE_DATA || data.size() >= kMaxDataBytes) return std::nullopt;
      size = std::max<DWORD>(got, static_cast<DWORD>(data.size()) * 2);
    }
    return std::nullopt;
  }

 private:
  RegKeyHandle key_;
};

}  // namespace

std::unique_ptr<RegistryKey> Win32Registry::Open(RootKey root, std::string_view path,
                                                 Access access) const {
  const std::string sub_key(path);
  HKEY opened = nullptr;
  const REGSAM rights = access == Access::kAllAccess ? KEY_ALL_ACCESS : KEY_READ;
  if (RegOpenKeyExA(RootHandle(root), sub_key.c_str(), 0, rights, &opened) != ERROR_SUCCESS) {
    return nullptr;
  }
  return std::make_unique<Win32RegistryKey>(RegKeyHandle(opened));
}

}  // namespace tarnscan::platform
