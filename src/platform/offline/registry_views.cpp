#include "platform/offline/registry_views.h"

#include <cstdio>
#include <set>

#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr std::string_view kMachineClasses = "SOFTWARE\\Classes";
constexpr std::string_view kUserClasses = "Software\\Classes";
constexpr std::string_view kProfiles = "SYSTEM\\CurrentControlSet\\Hardware Profiles";
constexpr std::string_view kCurrentProfile =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current";
constexpr std::string_view kIdConfigDb = "SYSTEM\\CurrentControlSet\\Control\\IDConfigDB";

std::string Below(std::string_view parent, std::string_view path) {
  std::string full(parent);
  if (!path.empty()) {
    full += '\\';
    full += path;
  }
  return full;
}

using NameSet = std::set<std::string, LessIgnoreCase>;

// Names of both lists, each once, sorted as the hive sorts sub-keys; the
// spelling of the first list wins.
std::vector<std::string> SortedUnion(std::vector<std::string> first,
                                     const std::vector<std::string>& second) {
  NameSet names(std::make_move_iterator(first.begin()), std::make_move_iterator(first.end()));
  names.insert(second.begin(), second.end());
  return {names.begin(), names.end()};
}

class EmptyKey final : public RegistryKey {
 public:
  std::vector<std::string> SubKeyNames() const override { return {}; }
  std::vector<std::string> ValueNames() const override { return {}; }
  std::optional<RegistryValue> Value(std::string_view) const override { return std::nullopt; }
};

// A key of HKEY_CLASSES_ROOT present in both hives: the user's values
// hide the machine's of the same name.
class MergedClassesKey final : public RegistryKey {
 public:
  MergedClassesKey(std::unique_ptr<RegistryKey> user, std::unique_ptr<RegistryKey> machine)
      : user_(std::move(user)), machine_(std::move(machine)) {}

  std::vector<std::string> SubKeyNames() const override {
    return SortedUnion(user_->SubKeyNames(), machine_->SubKeyNames());
  }

  // The user's values in their order, then the machine's that the user
  // does not override.
  std::vector<std::string> ValueNames() const override {
    std::vector<std::string> names = user_->ValueNames();
    const NameSet seen(names.begin(), names.end());
    for (auto& name : machine_->ValueNames()) {
      if (!seen.contains(name)) names.push_back(std::move(name));
    }
    return names;
  }

  std::optional<RegistryValue> Value(std::string_view name) const override {
    if (auto value = user_->Value(name)) return value;
    return machine_->Value(name);
  }

 private:
  std::unique_ptr<RegistryKey> user_;
  std::unique_ptr<RegistryKey> machine_;
};

// HKEY_USERS itself: what the base holds there, plus the user's key.
class UsersRootKey final : public RegistryKey {
 public:
  UsersRootKey(std::unique_ptr<RegistryKey> stored, std::string user_key_name)
      : stored_(std::move(stored)), user_key_name_(std::move(user_key_name)) {}

  std::vector<std::string> SubKeyNames() const override {
    std::vector<std::string> extra;
    if (!user_key_name_.empty()) extra.push_back(user_key_name_);
    return SortedUnion(stored_ ? stored_->SubKeyNames() : std::vector<std::string>{}, extra);
  }
  std::vector<std::string> ValueNames() const override {
    return stored_ ? stored_->ValueNames() : std::vector<std::string>{};
  }
  std::optional<RegistryValue> Value(std::string_view name) const override {
    return stored_ ? stored_->Value(name) : std::nullopt;
  }

 private:
  std::unique_ptr<RegistryKey> stored_;
  std::string user_key_name_;
};

}  // namespace

OfflineRegistryViews::OfflineRegistryViews(std::unique_ptr<Registry> base,
                                           std::string user_key_name)
    : base_(std::move(base)), user_key_name_(std::move(user_key_name)) {}

std::unique_ptr<RegistryKey> OfflineRegistryViews::Open(RootKey root, std::string_view path,
                                                        Access access) const {
  switch (root) {
    case RootKey::kClassesRoot:
      return OpenClassesRoot(path, access);
    case RootKey::kUsers:
      return OpenUsers(path, access);
    case RootKey::kCurrentConfig:
      return OpenCurrentConfig(path, access);
    case RootKey::kPerformanceData:
    case RootKey::kDynData:
      if (path.empty()) return std::make_unique<EmptyKey>();
      return nullptr;
    case RootKey::kLocalMachine:
    case RootKey::kCurrentUser:
      break;
  }
  return base_->Open(root, path, access);
}

std::unique_ptr<RegistryKey> OfflineRegistryViews::OpenClassesRoot(std::string_view path,
                                                                   Access access) const {
  auto user = base_->Open(RootKey::kCurrentUser, Below(kUserClasses, path), access);
  auto machine = base_->Open(RootKey::kLocalMachine, Below(kMachineClasses, path), access);
  if (user && machine)
    return std::make_unique<MergedClassesKey>(std::move(user), std::move(machine));
  return user ? std::move(user) : std::move(machine);
}

std::unique_ptr<RegistryKey> OfflineRegistryViews::OpenUsers(std::string_view path,
                                                             Access access) const {
  if (path.empty()) {
    return std::make_unique<UsersRootKey>(base_->Open(RootKey::kUsers, "", access), user_key_name_);
  }
  const size_t cut = path.find('\\');
  const std::string_view first = path.substr(0, cut);
  if (!user_key_name_.empty() && EqualsIgnoreCase(first, user_key_name_)) {
    const std::string_view rest = cut == std::string_view::npos ? "" : path.substr(cut + 1);
    return base_->Open(RootKey::kCurrentUser, rest, access);
  }
  return base_->Open(RootKey::kUsers, path, access);
}

// Windows links "Current" to the profile that IDConfigDB names when it
// boots; a hive at rest may hold no link, only the numbered profiles.
std::unique_ptr<RegistryKey> OfflineRegistryViews::OpenCurrentConfig(std::string_view path,
                                                                     Access access) const {
  if (base_->Open(RootKey::kLocalMachine, kCurrentProfile, Access::kRead)) {
    return base_->Open(RootKey::kLocalMachine, Below(kCurrentProfile, path), access);
  }
  std::optional<RegistryValue> number;
  if (auto config = base_->Open(RootKey::kLocalMachine, kIdConfigDb, Access::kRead)) {
    number = config->Value("CurrentConfig");
  }
  if (number && number->type == kRegDword && number->data.size() == 4) {
    uint32_t profile = 0;
    for (int i = 3; i >= 0; --i) profile = (profile << 8) | static_cast<uint8_t>(number->data[i]);
    char name[16];
    std::snprintf(name, sizeof name, "%04u", profile);
    const std::string profile_key = Below(kProfiles, name);
    if (base_->Open(RootKey::kLocalMachine, profile_key, Access::kRead)) {
      return base_->Open(RootKey::kLocalMachine, Below(profile_key, path), access);
    }
  }
  // No profile at all: the root still opens, as it does on Windows.
  if (path.empty()) return std::make_unique<EmptyKey>();
  return nullptr;
}

std::unique_ptr<RegistryKey> MergeClassesKeys(std::unique_ptr<RegistryKey> user,
                                              std::unique_ptr<RegistryKey> machine) {
  return std::make_unique<MergedClassesKey>(std::move(user), std::move(machine));
}

}  // namespace tarnscan::platform
