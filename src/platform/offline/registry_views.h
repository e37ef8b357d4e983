// The predefined keys that Windows builds at run time out of the stored
// hives, for a system at rest whose registry holds only what the hive
// files hold: HKEY_LOCAL_MACHINE, the user's HKEY_CURRENT_USER and the
// default profile under HKEY_USERS\.DEFAULT.
//
//   HKEY_CLASSES_ROOT      HKCU\Software\Classes merged over
//                          HKLM\SOFTWARE\Classes: sub-keys of both, values
//                          of both with the user's winning
//   HKEY_USERS             ".DEFAULT" and the user's key, which is HKCU
//   HKEY_CURRENT_CONFIG    HKLM\SYSTEM\CurrentControlSet\Hardware
//                          Profiles\Current (or the profile that
//                          Control\IDConfigDB\CurrentConfig names, as
//                          Windows links it at boot)
//   HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA
//                          an empty root: neither exists at rest
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace tarnscan::platform {

// A key of HKEY_CLASSES_ROOT that both the user's and the machine's
// classes hold: the subkeys of both, sorted without regard to case, and
// the values of both, the user's hiding the machine's of the same name.
std::unique_ptr<RegistryKey> MergeClassesKeys(std::unique_ptr<RegistryKey> user,
                                              std::unique_ptr<RegistryKey> machine);

class OfflineRegistryViews final : public Registry {
 public:
  // `base` holds HKLM, HKCU and HKU\.DEFAULT as stored; `user_key_name` is
  // the name under which HKEY_USERS shows the scanned user (a SID such as
  // "S-1-5-21-...-1003", or a profile name such as "Owner"); empty leaves
  // HKEY_USERS with ".DEFAULT" only.
  OfflineRegistryViews(std::unique_ptr<Registry> base, std::string user_key_name);

  std::unique_ptr<RegistryKey> Open(RootKey root, std::string_view path,
                                    Access access) const override;

  const Registry& Base() const { return *base_; }

 private:
  std::unique_ptr<RegistryKey> OpenClassesRoot(std::string_view path, Access access) const;
  std::unique_ptr<RegistryKey> OpenUsers(std::string_view path, Access access) const;
  std::unique_ptr<RegistryKey> OpenCurrentConfig(std::string_view path, Access access) const;

  std::unique_ptr<Registry> base_;
  std::string user_key_name_;
};

}  // namespace tarnscan::platform
