// One scanned Windows system, as the backends of a build present it. The
// core reaches the operating system (live or at rest) only through this.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file_facts.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/shell.h"

namespace tarnscan::platform {

// Members are destroyed bottom-up: the services that keep references to
// the code page, the registry or the files are declared after them.
struct System {
  std::unique_ptr<CodePage> code_page;
  std::unique_ptr<Registry> registry;
  std::unique_ptr<FileSystem> files;
  std::unique_ptr<FileFacts> facts;
  std::unique_ptr<Shell> shell;
  std::unique_ptr<Clock> clock;
  DateFormat date_format;
};

}  // namespace tarnscan::platform
