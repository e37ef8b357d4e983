// The registry of a Windows system at rest, assembled from its hive files
// the way the configuration manager mounts them at boot and logon:
//
//   HKLM\SOFTWARE, \SYSTEM, \SAM, \SECURITY   the machine hives
//   HKLM\SYSTEM\CurrentControlSet            the control set Select\Current names
//   HKLM\HARDWARE                            empty (built by the running kernel)
//   HKCU                                     the user's NTUSER.DAT
//   HKCU\Software\Classes                    the user's UsrClass.dat
//   HKU\.DEFAULT, HKU\<SID>                  DEFAULT and the user's hive
//   HKCR                                     HKCU\Software\Classes over HKLM\SOFTWARE\Classes
//                                            (subkeys and values of both, the user's
//                                            winning)
//
// Names and string data come out in the system's ANSI code page, with the
// type semantics of platform/registry.h. A key the hive holds damaged (a
// cell outside the file, a list of the wrong kind, a loop back to a key
// above it) counts as missing, and the damage is reported once, naming
// the hive file and the key.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/registry.h"

namespace tarnscan::platform {

// Receives one line per problem found in a hive ("warning: ...").
using HiveWarningSink = std::function<void(const std::string&)>;
// Writes "tarnscan: <line>" to stderr.
void WarnOnStderr(const std::string& line);

class HiveRegistry final : public Registry {
 public:
  // The code page must outlive the registry.
  explicit HiveRegistry(const CodePage& code_page, HiveWarningSink warn = WarnOnStderr);
  ~HiveRegistry() override;

  // Shows the hive's root key at `path` below `root` ("" = the root itself).
  void Mount(RootKey root, std::string_view path, std::shared_ptr<const Hive> hive);
  // Shows an empty key at `path` (HKLM\HARDWARE, which only a running
  // system fills).
  void MountEmpty(RootKey root, std::string_view path);
  // Shows the key already reachable at `target_path` also at `path`, as
  // the kernel links CurrentControlSet to one ControlSet00n. False when
  // the target is missing or not inside a hive.
  bool MountAlias(RootKey root, std::string_view path, RootKey target_root,
                  std::string_view target_path);

  std::unique_ptr<RegistryKey> Open(RootKey root, std::string_view path,
                                    Access access) const override;

  const CodePage& code_page() const { return code_page_; }

  // Used by the keys: an 8-bit name as the upper-cased UTF-16 the hive
  // compares with, and a stored name as 8-bit text.
  std::u16string UpperName(std::string_view name) const;
  std::string NarrowName(const HiveName& name) const;
  // Reports damage once per hive cell.
  void Warn(const Hive& hive, const HiveDamage& damage, std::string_view where) const;

 private:
  struct MountPoint {
    RootKey root;
    std::vector<std::string> parts;
    std::shared_ptr<const Hive> hive;  // null for an empty key
    Cell cell = 0;
  };
  struct Resolved;

  std::optional<Resolved> Resolve(RootKey root, const std::vector<std::string_view>& parts) const;
  std::unique_ptr<RegistryKey> OpenClasses(std::string_view path) const;

  const CodePage& code_page_;
  HiveWarningSink warn_;
  std::vector<MountPoint> mounts_;
  mutable std::mutex warned_mutex_;
  mutable std::set<std::pair<const Hive*, Cell>> warned_;
};

}  // namespace tarnscan::platform
