#include "platform/offline/image_system.h"

#include <dirent.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>

#include "platform/offline/file_facts_offline.h"
#include "platform/offline/hive_log.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/image_file_system.h"
#include "platform/offline/shell_link.h"
#include "platform/registry_reader.h"
#include "platform/text.h"

namespace tarnscan::platform {
namespace {

constexpr int64_t kTicksPerMinute = 600000000LL;
constexpr int64_t kTicksPerDay = 864000000000LL;
constexpr int64_t kUnixEpoch = 116444736000000000LL;

using Message = std::function<void(const std::string&)>;

// ---------------------------------------------------------------------------
// Time zone

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[(month - 1) % 12];
}

// The local time of a transition in `year`: either a fixed date (a year
// is given) or "the n-th weekday of the month", week 5 meaning the last.
std::optional<FileTime> TransitionLocal(const TimeZoneRule::Date& date, int year) {
  if (date.month < 1 || date.month > 12) return std::nullopt;
  LocalTime local;
  local.year = year;
  local.month = date.month;
  local.hour = date.hour;
  local.minute = date.minute;
  local.second = date.second;
  if (date.year != 0) {
    if (date.year != year) return std::nullopt;
    local.day = std::clamp(date.week, 1, DaysInMonth(year, date.month));
    return CalendarToFileTime(local);
  }
  local.day = 1;
  const int64_t first = CalendarToFileTime(local);
  const int first_day_of_week =
      static_cast<int>((first / kTicksPerDay + 1) % 7);  // 1601-01-01: Mon
  int day =
      1 + (date.day_of_week - first_day_of_week + 7) % 7 + (std::clamp(date.week, 1, 5) - 1) * 7;
  while (day > DaysInMonth(year, date.month)) day -= 7;
  local.day = day;
  return CalendarToFileTime(local);
}

int32_t Dword(const RegistryKey& key, std::string_view name, int32_t fallback) {
  const auto value = key.Value(name);
  if (!value || value->data.size() < 4) return fallback;
  uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(value->data[i]);
  return static_cast<int32_t>(number);
}

TimeZoneRule::Date SystemTime(const RegistryKey& key, std::string_view name) {
  TimeZoneRule::Date date;
  const auto value = key.Value(name);
  if (!value || value->data.size() < 16) return date;
  auto word = [&](size_t i) {
    return static_cast<unsigned char>(value->data[2 * i]) |
           (static_cast<unsigned char>(value->data[2 * i + 1]) << 8);
  };
  date.year = word(0);
  date.month = word(1);
  date.day_of_week = word(2);
  date.week = word(3);
  date.hour = word(4);
  date.minute = word(5);
  date.second = word(6);
  return date;
}

class ImageClock final : public Clock {
 public:
  ImageClock(TimeZoneRule rule, std::optional<LocalTime> as_of) : rule_(rule), as_of_(as_of) {}

  LocalTime Now() const override {
    if (as_of_) return *as_of_;
    const FileTime utc = NowUtc();
    return FileTimeToCalendar(utc + LocalOffsetMinutes(rule_, utc) * kTicksPerMinute);
  }

  // FileTimeToLocalFileTime, through which Windows programs show file
  // times, applies the bias in force now, not the one of the file's date.
  LocalTime ToLocal(FileTime utc) const override {
    return FileTimeToCalendar(utc + LocalOffsetMinutes(rule_, NowUtc()) * kTicksPerMinute);
  }

 private:
  FileTime NowUtc() const {
    if (!as_of_) {
      const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
      return kUnixEpoch +
             std::chrono::duration_cast<std::chrono::microseconds>(since_epoch).count() * 10;
    }
    const FileTime local = CalendarToFileTime(*as_of_);
    const FileTime standard = local + (rule_.bias + rule_.standard_bias) * kTicksPerMinute;
    if (!IsDaylightTime(rule_, standard)) return standard;
    return local + (rule_.bias + rule_.daylight_bias) * kTicksPerMinute;
  }

  TimeZoneRule rule_;
  std::optional<LocalTime> as_of_;
};

// ---------------------------------------------------------------------------
// Host folders

// The entry of `dir` named `name` without regard to case; empty if none.
std::string FindHostChild(const std::string& dir, std::string_view name, bool want_dir) {
  std::string found;
  if (DIR* handle = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(handle)) {
      if (!EqualsIgnoreCase(entry->d_name, name)) continue;
      const std::string path = dir + "/" + entry->d_name;
      struct stat facts {};
      if (stat(path.c_str(), &facts) == 0 && S_ISDIR(facts.st_mode) == want_dir) {
        found = path;
        break;
      }
    }
    closedir(handle);
  }
  return found;
}

struct WindowsFolder {
  std::string host;    // ROOT/WINDOWS
  std::string name;    // as stored: "WINDOWS", "WINNT"
  std::string config;  // ROOT/WINDOWS/system32/config
};

std::optional<WindowsFolder> FindWindowsFolder(const std::string& root) {
  for (const char* name : {"WINDOWS", "WINNT"}) {
    const std::string windows = FindHostChild(root, name, true);
    if (windows.empty()) continue;
    const std::string system32 = FindHostChild(windows, "system32", true);
    if (system32.empty()) continue;
    const std::string config = FindHostChild(system32, "config", true);
    if (config.empty()) continue;
    return WindowsFolder{windows, windows.substr(windows.rfind('/') + 1), config};
  }
  return std::nullopt;
}

FileTime HostWriteTime(const std::string& path) {
  struct stat facts {};
  if (stat(path.c_str(), &facts) != 0) return 0;
  return kUnixEpoch + static_cast<int64_t>(facts.st_mtim.tv_sec) * 10000000LL +
         facts.st_mtim.tv_nsec / 100;
}

// ---------------------------------------------------------------------------
// Hives

class ImageLoader {
 public:
  ImageLoader(const ImageOptions& options, Message message)
      : options_(options), message_(std::move(message)) {}

  System Load() {
    const auto windows = FindWindowsFolder(options_.root);
    if (!windows) {
      throw ImageError("no Windows folder (WINDOWS or WINNT with system32\\config) in " +
                       options_.root);
    }
    auto software = MachineHive(*windows, "SOFTWARE", true);
    auto system_hive = MachineHive(*windows, "SYSTEM", true);

    System system;
    system.code_page = MakeCodePage(CodePageOf(system_hive));
    auto registry = std::make_unique<HiveRegistry>(*system.code_page, message_);
    registry->Mount(RootKey::kLocalMachine, "SOFTWARE", software);
    registry->Mount(RootKey::kLocalMachine, "SYSTEM", system_hive);
    for (const char* name : {"SAM", "SECURITY"}) {
      if (auto hive = MachineHive(*windows, name, false)) {
        registry->Mount(RootKey::kLocalMachine, name, hive);
      }
    }
    registry->MountEmpty(RootKey::kLocalMachine, "HARDWARE");
    MountControlSet(*registry);
    if (auto hive = MachineHive(*windows, "DEFAULT", false)) {
      registry->Mount(RootKey::kUsers, ".DEFAULT", hive);
    }

    auto files = std::make_unique<ImageFileSystem>(*system.code_page);
    const char letter = SystemDriveLetter(*registry);
    files->AddDrive(letter, options_.root);
    for (const auto& [drive, host] : options_.drives) files->AddDrive(drive, host);
    MountUser(*registry, *files, letter, windows->name);

    system.date_format = ReadDateFormat(*registry);
    system.clock = std::make_unique<ImageClock>(
        ReadTimeZoneRule(registry
                             ->Open(RootKey::kLocalMachine,
                                    "SYSTEM\\CurrentControlSet\\Control\\TimeZoneInformation",
                                    Access::kRead)
                             .get()),
        options_.as_of);
    system.registry = std::move(registry);
    system.files = std::move(files);
    system.facts =
        std::make_unique<OfflineFileFacts>(*system.files, *system.registry, *system.code_page);
    system.shell = std::make_unique<OfflineShell>(*system.files, *system.code_page);
    return system;
  }

 private:
  std::shared_ptr<const Hive> OpenHive(const std::string& path) {
    try {
      return OpenHiveWithLogs(path, options_.replay_logs, message_);
    } catch (const HiveError& error) {
      throw ImageError(std::string("registry hive ") + error.what());
    }
  }

  std::shared_ptr<const Hive> MachineHive(const WindowsFolder& windows, const char* name,
                                          bool required) {
    const std::string path = FindHostChild(windows.config, name, false);
    if (path.empty()) {
      if (required) throw ImageError("no " + std::string(name) + " hive in " + windows.config);
      return nullptr;
    }
    return OpenHive(path);
  }

  static int CodePageOf(const std::shared_ptr<const Hive>& system_hive) {
    const auto ascii = MakeCodePage(1252);
    HiveRegistry registry(*ascii, [](const std::string&) {});
    registry.Mount(RootKey::kLocalMachine, "SYSTEM", system_hive);
    MountControlSet(registry);
    RegistryReader reader(registry, Access::kRead);
    reader.SetRoot(RootKey::kLocalMachine);
    if (!reader.OpenKey("SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage")) return 1252;
    try {
      const int id = std::stoi(reader.ReadString("ACP"));
      return id > 0 ? id : 1252;
    } catch (const std::exception&) {
      return 1252;
    }
  }

  // CurrentControlSet is a link the kernel makes at boot to the set
  // Select\Current names.
  static void MountControlSet(HiveRegistry& registry) {
    auto select = registry.Open(RootKey::kLocalMachine, "SYSTEM\\Select", Access::kRead);
    int current = select ? Dword(*select, "Current", 1) : 1;
    char name[32];
    std::snprintf(name, sizeof name, "SYSTEM\\ControlSet%03d", current);
    if (!registry.MountAlias(RootKey::kLocalMachine, "SYSTEM\\CurrentControlSet",
                             RootKey::kLocalMachine, name)) {
      return;
    }
    // HKEY_CURRENT_CONFIG: the hardware profile IDConfigDB names.
    auto config = registry.Open(RootKey::kLocalMachine,
                                "SYSTEM\\CurrentControlSet\\Control\\IDConfigDB", Access::kRead);
    const int profile = config ? Dword(*config, "CurrentConfig", 1) : 1;
    char profile_path[96];
    std::snprintf(profile_path, sizeof profile_path,
                  "SYSTEM\\CurrentControlSet\\Hardware Profiles\\%04d", profile);
    registry.MountAlias(RootKey::kCurrentConfig, "", RootKey::kLocalMachine, profile_path);
  }

  static char SystemDriveLetter(const HiveRegistry& registry) {
    auto key = registry.Open(RootKey::kLocalMachine,
                             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", Access::kRead);
    if (key) {
      const auto value = key->Value("SystemRoot");
      if (value && value->data.size() >= 2 && value->data[1] == ':') {
        const char letter = AsciiUpper(value->data[0]);
        if (letter >= 'A' && letter <= 'Z') return letter;
      }
    }
    return 'C';
  }

  struct Profile {
    std::string sid;
    std::string windows_path;  // C:\Documents and Settings\joe
    std::string folder;        // joe
    std::string ntuser;        // host path
  };

  std::vector<Profile> Profiles(const HiveRegistry& registry, const ImageFileSystem& files,
                                char letter, const std::string& windows_name) {
    std::vector<Profile> profiles;
    RegistryReader reader(registry, Access::kRead);
    reader.SetRoot(RootKey::kLocalMachine);
    const std::string list = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
    if (!reader.OpenKey(list)) return profiles;
    for (const auto& sid : reader.SubKeyNames()) {
      RegistryReader profile_reader(registry, Access::kRead);
      profile_reader.SetRoot(RootKey::kLocalMachine);
      if (!profile_reader.OpenKey(list + "\\" + sid)) continue;
      std::string path;
      try {
        path = profile_reader.ReadString("ProfileImagePath");
      } catch (const RegistryError&) {
        continue;
      }
      path = ExpandSystemVariables(path, letter, windows_name);
      const auto host = files.HostPath(path + "\\NTUSER.DAT");
      const auto [parent, folder] = SplitPath(path);
      (void)parent;
      profiles.push_back({sid, path, std::string(folder), host.value_or("")});
    }
    return profiles;
  }

  static std::string ExpandSystemVariables(std::string path, char letter,
                                           const std::string& windows_name) {
    const std::string drive = std::string(1, letter) + ":";
    for (const auto& [variable, value] :
         {std::pair<std::string, std::string>{"%SystemDrive%", drive},
          {"%SystemRoot%", drive + "\\" + windows_name},
          {"%windir%", drive + "\\" + windows_name}}) {
      for (size_t at = 0;
           (at = UpperCase(path).find(UpperCase(variable), at)) != std::string::npos;) {
        path.replace(at, variable.size(), value);
        at += value.size();
      }
    }
    return path;
  }

  // The user whose hive was written last logged on last; the service
  // accounts (S-1-5-18/19/20) write theirs all the time and are passed
  // over while a real account exists.
  std::optional<Profile> ChooseUser(const std::vector<Profile>& profiles,
                                    const ImageFileSystem& files, char letter) {
    if (!options_.user.empty()) {
      for (const auto& profile : profiles) {
        if (EqualsIgnoreCase(profile.folder, options_.user) && !profile.ntuser.empty()) {
          return profile;
        }
      }
      // A profile the list does not know: look in the usual places.
      for (const char* parent : {"Documents and Settings", "Users"}) {
        const std::string path = std::string(1, letter) + ":\\" + parent + "\\" + options_.user;
        if (const auto host = files.HostPath(path + "\\NTUSER.DAT")) {
          return Profile{options_.user, path, options_.user, *host};
        }
      }
      throw ImageError("no user profile '" + options_.user + "' with an NTUSER.DAT in " +
                       options_.root);
    }
    const Profile* best = nullptr;
    FileTime best_time = 0;
    bool best_is_account = false;
    for (const auto& profile : profiles) {
      if (profile.ntuser.empty()) continue;
      const bool is_account = StartsWith(profile.sid, "S-1-5-21-");
      const FileTime time = HostWriteTime(profile.ntuser);
      if (best == nullptr || (is_account && !best_is_account) ||
          (is_account == best_is_account && time > best_time)) {
        best = &profile;
        best_time = time;
        best_is_account = is_account;
      }
    }
    if (best == nullptr) return std::nullopt;
    return *best;
  }

  void MountUser(HiveRegistry& registry, const ImageFileSystem& files, char letter,
                 const std::string& windows_name) {
    const auto profiles = Profiles(registry, files, letter, windows_name);
    const auto user = ChooseUser(profiles, files, letter);
    if (!user) {
      message_("warning: no user profile with an NTUSER.DAT; HKEY_CURRENT_USER is empty");
      return;
    }
    const LocalTime written = FileTimeToCalendar(HostWriteTime(user->ntuser));
    char when[32];
    std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d UTC", written.year,
                  written.month, written.day, written.hour, written.minute, written.second);
    message_("user: " + user->folder + " (" + user->windows_path + ", " +
             (options_.user.empty() ? "NTUSER.DAT written last, " + std::string(when)
                                    : std::string("chosen with --user")) +
             ")");
    const auto hive = OpenHive(user->ntuser);
    registry.Mount(RootKey::kCurrentUser, "", hive);
    registry.Mount(RootKey::kUsers, user->sid, hive);
    // Windows 2000/XP keep the user's classes under Local Settings, Vista
    // and later under AppData\Local.
    for (const char* relative : {"\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat",
                                 "\\Local Settings\\Application Data\\Microsoft\\Windows\\"
                                 "UsrClass.dat"}) {
      const auto host = files.HostPath(user->windows_path + relative);
      if (!host) continue;
      const auto classes = OpenHive(*host);
      registry.Mount(RootKey::kCurrentUser, "Software\\Classes", classes);
      registry.Mount(RootKey::kUsers, user->sid + "_Classes", classes);
      break;
    }
  }

  static DateFormat ReadDateFormat(const HiveRegistry& registry) {
    DateFormat format;
    for (const auto& [root, path] :
         {std::pair{RootKey::kUsers, ".DEFAULT\\Control Panel\\International"},
          std::pair{RootKey::kCurrentUser, "Control Panel\\International"}}) {
      auto key = registry.Open(root, path, Access::kRead);
      if (!key) continue;
      auto text = [&](const char* name, std::string& out) {
        const auto value = key->Value(name);
        if (value && (value->type == kRegSz || value->type == kRegExpandSz)) {
          out = std::string(value->data.c_str());
        }
      };
      text("sShortDate", format.short_date);
      text("sTimeFormat", format.long_time);
      text("s1159", format.am);
      text("s2359", format.pm);
    }
    return format;
  }

  const ImageOptions& options_;
  Message message_;
};

}  // namespace

TimeZoneRule ReadTimeZoneRule(const RegistryKey* key) {
  TimeZoneRule rule;
  if (key == nullptr) return rule;
  rule.bias = Dword(*key, "Bias", 0);
  rule.standard_bias = Dword(*key, "StandardBias", 0);
  rule.daylight_bias = Dword(*key, "DaylightBias", 0);
  rule.standard_date = SystemTime(*key, "StandardStart");
  rule.daylight_date = SystemTime(*key, "DaylightStart");
  return rule;
}

bool IsDaylightTime(const TimeZoneRule& rule, FileTime utc) {
  if (rule.standard_date.month == 0 || rule.daylight_date.month == 0) return false;
  const int year = FileTimeToCalendar(utc - rule.bias * kTicksPerMinute).year;
  const auto daylight_local = TransitionLocal(rule.daylight_date, year);
  const auto standard_local = TransitionLocal(rule.standard_date, year);
  if (!daylight_local || !standard_local) return false;
  // The start is given in standard time, the end in daylight time.
  const FileTime start = *daylight_local + (rule.bias + rule.standard_bias) * kTicksPerMinute;
  const FileTime end = *standard_local + (rule.bias + rule.daylight_bias) * kTicksPerMinute;
  if (start < end) return utc >= start && utc < end;
  return utc >= start || utc < end;  // southern hemisphere: daylight over new year
}

int LocalOffsetMinutes(const TimeZoneRule& rule, FileTime utc) {
  return -(rule.bias + (IsDaylightTime(rule, utc) ? rule.daylight_bias : rule.standard_bias));
}

System LoadImageSystem(const ImageOptions& options) {
  Message message = options.message ? options.message : Message(WarnOnStderr);
  std::error_code error;
  if (!std::filesystem::is_directory(options.root, error)) {
    throw ImageError("the image root " + options.root + " is not a folder");
  }
  for (const auto& [letter, host] : options.drives) {
    if (!std::filesystem::is_directory(host, error)) {
      throw ImageError(std::string("drive ") + letter + ": " + host + " is not a folder");
    }
  }
  return ImageLoader(options, std::move(message)).Load();
}

std::string ReportPathProblem(const std::string& out_path, const std::string& root) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path out = fs::weakly_canonical(fs::absolute(out_path), error);
  const fs::path image = fs::weakly_canonical(fs::absolute(root), error);
  auto out_part = out.begin();
  for (auto part = image.begin(); part != image.end(); ++part, ++out_part) {
    if (part->empty()) continue;
    if (out_part == out.end() || *out_part != *part) return "";
  }
  return "the report " + out_path + " would be written inside the image " + root +
         ", which is only read";
}

}  // namespace tarnscan::platform
