// Time and date rendering of the scanned system.
//
// Dates are shown as Delphi's DateTimeToStr does on Windows: the locale's
// short date picture, a blank, the long time picture, the time left out
// when it is exactly midnight. Pictures are Windows locale pictures
// (GetDateFormat / GetTimeFormat): d dd ddd dddd, M MM MMM MMMM, y yy yyyy,
// h hh H HH, m mm, s ss, t tt, text in single quotes taken literally,
// every other character copied.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <string>

#include "platform/file_system.h"

namespace tarnscan::platform {

struct LocalTime {
  int year = 1601;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

struct DateFormat {
  std::string short_date = "M/d/yyyy";
  std::string long_time = "h:mm:ss tt";
  std::string am = "AM";
  std::string pm = "PM";
};

class Clock {
 public:
  virtual ~Clock() = default;
  // The scanned system's local time now.
  virtual LocalTime Now() const = 0;
  // A file time (UTC) in the scanned system's local time.
  virtual LocalTime ToLocal(FileTime utc) const = 0;
};

std::string FormatDatePicture(const LocalTime& t, const std::string& picture,
                              const DateFormat& format);
// DateTimeToStr: short date, blank, long time; no time at midnight.
std::string FormatDateTime(const LocalTime& t, const DateFormat& format);
// Delphi's packed date-time keeps even seconds only (FileAge/FindFirst).
LocalTime TruncateToTwoSeconds(LocalTime t);
// Days since 1899-12-30 with the time as the fraction (TDateTime).
double ToDateTimeValue(const LocalTime& t);
LocalTime FromDateTimeValue(double value);

// "YYYY-MM-DD HH:MM:SS"; nullopt when malformed or not a real date.
std::optional<LocalTime> ParseLocalTime(std::string_view text);

// FILETIME <-> calendar time, no zone applied.
LocalTime FileTimeToCalendar(FileTime t);
FileTime CalendarToFileTime(const LocalTime& t);

}  // namespace tarnscan::platform
