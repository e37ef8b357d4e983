// A Windows system at rest, read from the folder that holds its system
// drive (a mounted image, a copy): its registry from the hive files, its
// files through case-insensitive Windows paths, its clock with its own
// time zone, its date pictures and code page. Nothing below the root is
// ever written: hives and files are opened for reading only, and dirty
// hives are replayed in memory.
#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace tarnscan::platform {

// The image cannot be scanned: no Windows folder, a machine hive that
// cannot be opened. The message is one line naming what is wrong.
class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ImageOptions {
  std::string root;                                  // host folder of the system drive
  std::string user;                                  // profile folder name; empty: last logged on
  std::vector<std::pair<char, std::string>> drives;  // further drives: letter, host folder
  bool replay_logs = true;                           // false: --no-log-replay
  std::optional<LocalTime> as_of;                    // fixes "now" (the system's local time)
  // Receives the lines for stderr (the user chosen, damaged hives); the
  // default writes "tarnscan: <line>".
  std::function<void(const std::string&)> message;
};

// Throws ImageError.
System LoadImageSystem(const ImageOptions& options);

// A problem with writing the report to `out_path` for an image at `root`
// (the report must not go inside the image); empty when there is none.
std::string ReportPathProblem(const std::string& out_path, const std::string& root);

// The time-zone rule of TimeZoneInformation (TIME_ZONE_INFORMATION).
struct TimeZoneRule {
  struct Date {  // SYSTEMTIME as the rule uses it
    int year = 0, month = 0, day_of_week = 0, week = 0, hour = 0, minute = 0, second = 0;
  };
  int bias = 0;  // minutes: UTC = local + bias
  int standard_bias = 0;
  int daylight_bias = 0;
  Date standard_date;
  Date daylight_date;
};

// Reads the rule from a TimeZoneInformation key; zero bias when absent.
TimeZoneRule ReadTimeZoneRule(const RegistryKey* key);
// Whether daylight time is in force at the UTC time, as Windows decides.
bool IsDaylightTime(const TimeZoneRule& rule, FileTime utc);
// Minutes to add to UTC to get local time at the UTC time.
int LocalOffsetMinutes(const TimeZoneRule& rule, FileTime utc);

}  // namespace tarnscan::platform
