// Shortcut files are hostile input: any bytes must give a target or the
// empty string, never a read outside them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/codepage.h"
#include "platform/offline/shell_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnscan::platform;
  // 932 is double-byte, so path joins take the lead-byte path too.
  static const auto cp1252 = MakeCodePage(1252);
  static const auto cp932 = MakeCodePage(932);
  const MemoryByteSource file(std::string_view(reinterpret_cast<const char*>(data), size));
  ReadShortcutTarget(file, *cp1252);
  ReadShortcutTarget(file, *cp932);
  return 0;
}
