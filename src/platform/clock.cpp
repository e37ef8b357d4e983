#include "platform/clock.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace tarnscan::platform {
namespace {

constexpr std::array<const char*, 12> kMonthNames{
    "January", "February", "March",     "April",   "May",      "June",
    "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kDayNames{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};

// Days from 1601-01-01 (a Monday) to the given date, proleptic Gregorian.
int64_t DaysFrom1601(int year, int month, int day) {
  // Civil-from-days in reverse (Howard Hinnant's algorithm), shifted so
  // that 1601-01-01 is day 0.
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yoe = year - era * 400;
  const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days_from_1970 = era * 146097 + doe - 719468;
  return days_from_1970 + 134774;
}

void CalendarFromDays(int64_t days_from_1601, int& year, int& month, int& day) {
  const int64_t z = days_from_1601 - 134774 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::string Number(int value, int width) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
  return buffer;
}

int DayOfWeek(const LocalTime& t) {
  return static_cast<int>((DaysFrom1601(t.year, t.month, t.day) + 1) % 7);  // 0 = Sunday
}

std::string Field(char letter, size_t count, const LocalTime& t, const DateFormat& format) {
  const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
  const int width = count >= 2 ? 2 : 1;
  switch (letter) {
    case 'd':
      if (count >= 4) return kDayNames[DayOfWeek(t)];
      if (count == 3) return std::string(kDayNames[DayOfWeek(t)]).substr(0, 3);
      return Number(t.day, width);
    case 'M':
      if (count >= 4) return kMonthNames[t.month - 1];
      if (count == 3) return std::string(kMonthNames[t.month - 1]).substr(0, 3);
      return Number(t.month, width);
    case 'y':
      if (count >= 3) return Number(t.year, 4);
      return Number(t.year % 100, width);
    case 'h':
      return Number(hour12, width);
    case 'H':
      return Number(t.hour, width);
    case 'm':
      return Number(t.minute, width);
    case 's':
      return Number(t.second, width);
    case 't': {
      const std::string& mark = t.hour < 12 ? format.am : format.pm;
      return count >= 2 ? mark : mark.substr(0, 1);
    }
    case 'g':
      return "";  // eras are not shown for the Gregorian calendar
    default:
      return std::string(count, letter);
  }
}

}  // namespace

std::string FormatDatePicture(const LocalTime& t, const std::string& picture,
                              const DateFormat& format) {
  std::string out;
  size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      // Quoted literal; '' inside it is one quote.
      ++i;
      while (i < picture.size()) {
        if (picture[i] == '\'') {
          if (i + 1 < picture.size() && picture[i + 1] == '\'') {
            out += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        out += picture[i++];
      }
      continue;
    }
    if (std::string_view("dMyhHmstg").find(c) == std::string_view::npos) {
      out += c;
      ++i;
      continue;
    }
    size_t count = 1;
    while (i + count < picture.size() && picture[i + count] == c) ++count;
    out += Field(c, count, t, format);
    i += count;
  }
  return out;
}

std::string FormatDateTime(const LocalTime& t, const DateFormat& format) {
  std::string text = FormatDatePicture(t, format.short_date, format);
  if (t.hour != 0 || t.minute != 0 || t.second != 0 || t.millisecond != 0) {
    text += ' ';
    text += FormatDatePicture(t, format.long_time, format);
  }
  return text;
}

LocalTime TruncateToTwoSeconds(LocalTime t) {
  t.second -= t.second % 2;
  t.millisecond = 0;
  return t;
}

double ToDateTimeValue(const LocalTime& t) {
  const int64_t days = DaysFrom1601(t.year, t.month, t.day) - DaysFrom1601(1899, 12, 30);
  const double fraction =
      (t.hour * 3600000.0 + t.minute * 60000.0 + t.second * 1000.0 + t.millisecond) / 86400000.0;
  return static_cast<double>(days) + fraction;
}

LocalTime FromDateTimeValue(double value) {
  const double whole = std::floor(value);
  LocalTime t;
  CalendarFromDays(static_cast<int64_t>(whole) + DaysFrom1601(1899, 12, 30), t.year, t.month,
                   t.day);
  auto ms = static_cast<int64_t>(std::llround((value - whole) * 86400000.0));
  if (ms >= 86400000) ms = 86399999;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

LocalTime FileTimeToCalendar(FileTime time) {
  constexpr int64_t kTicksPerDay = 864000000000LL;
  int64_t days = time / kTicksPerDay;
  int64_t rest = time % kTicksPerDay;
  if (rest < 0) {
    rest += kTicksPerDay;
    --days;
  }
  LocalTime t;
  CalendarFromDays(days, t.year, t.month, t.day);
  const int64_t ms = rest / 10000;
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

FileTime CalendarToFileTime(const LocalTime& t) {
  const int64_t days = DaysFrom1601(t.year, t.month, t.day);
  const int64_t ms = ((t.hour * 60LL + t.minute) * 60 + t.second) * 1000 + t.millisecond;
  return days * 864000000000LL + ms * 10000;
}

}  // namespace tarnscan::platform

namespace tarnscan::platform {

std::optional<LocalTime> ParseLocalTime(std::string_view text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char tail = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute,
                  &second, &tail) != 6 ||
      copy.size() != 19) {
    return std::nullopt;
  }
  LocalTime t{year, month, day, hour, minute, second, 0};
  // A date that does not exist would come back changed from the round trip.
  const LocalTime check = FileTimeToCalendar(CalendarToFileTime(t));
  if (year < 1601 || month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 ||
      second > 59 || check.day != day || check.month != month) {
    return std::nullopt;
  }
  return t;
}

}  // namespace tarnscan::platform
