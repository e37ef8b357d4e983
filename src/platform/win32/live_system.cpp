#include "platform/win32/live_system.h"

#include <cstring>

#include "platform/win32/file_facts_win32.h"
#include "platform/win32/file_system_win32.h"
#include "platform/win32/registry_win32.h"

namespace tarnscan::platform {
namespace {

LocalTime FromSystemTime(const SYSTEMTIME& time) {
  return LocalTime{time.wYear,   time.wMonth,  time.wDay,         time.wHour,
                   time.wMinute, time.wSecond, time.wMilliseconds};
}

std::string LocaleText(LCTYPE type, const std::string& fallback) {
  char buffer[256];
  const int length = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer, sizeof buffer);
  if (length <= 0) return fallback;
  return std::string(buffer, strnlen(buffer, static_cast<size_t>(length)));
}

}  // namespace

LocalTime Win32Clock::Now() const {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return FromSystemTime(now);
}

LocalTime Win32Clock::ToLocal(FileTime utc) const {
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(utc) & 0xFFFFFFFFu);
  file_time.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(utc) >> 32);
  FILETIME local;
  SYSTEMTIME parts;
  if (!FileTimeToLocalFileTime(&file_time, &local) || !FileTimeToSystemTime(&local, &parts)) {
    return FileTimeToCalendar(utc);
  }
  return FromSystemTime(parts);
}

DateFormat UserDateFormat() {
  DateFormat format;
  format.short_date = LocaleText(LOCALE_SSHORTDATE, format.short_date);
  format.long_time = LocaleText(LOCALE_STIMEFORMAT, format.long_time);
  format.am = LocaleText(LOCALE_S1159, format.am);
  format.pm = LocaleText(LOCALE_S2359, format.pm);
  return format;
}

System MakeLiveSystem(Win32Shell** shell) {
  System system;
  system.code_page = MakeCodePage(static_cast<int>(GetACP()));
  system.registry = std::make_unique<Win32Registry>();
  system.files = std::make_unique<Win32FileSystem>();
  system.facts = std::make_unique<Win32FileFacts>();
  auto live_shell = std::make_unique<Win32Shell>();
  if (shell != nullptr) *shell = live_shell.get();
  system.shell = std::move(live_shell);
  system.clock = std::make_unique<Win32Clock>();
  system.date_format = UserDateFormat();
  return system;
}

}  // namespace tarnscan::platform
