// The live Windows system the program runs on, behind the platform
// interfaces: the ANSI code page, the registry, the files, the version
// resources, the shell, the clock and the user's date and time formats.
#pragma once

#include "platform/system.h"
#include "platform/win32/shell_win32.h"

namespace tarnscan::platform {

class Win32Clock final : public Clock {
 public:
  LocalTime Now() const override;
  // FileTimeToLocalFileTime: today's bias for every date, as the file
  // times of FindFirstFile are shown by the program.
  LocalTime ToLocal(FileTime utc) const override;
};

// The user's short date and long time pictures and AM/PM texts.
DateFormat UserDateFormat();

// `shell` (if given) receives the shell object, so a window can become
// the owner of what the shell shows.
System MakeLiveSystem(Win32Shell** shell = nullptr);

}  // namespace tarnscan::platform
