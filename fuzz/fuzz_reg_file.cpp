// .reg files come from system folders and users' hands: any bytes must end
// in a list of changes or a RegFileError, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/codepage.h"
#include "platform/memory/reg_file.h"

namespace {

using tarnscan::platform::CodePage;
using tarnscan::platform::RegFileOp;

// What every caller relies on: paths without outer backslashes, a line
// inside the file.
bool Plausible(const RegFileOp& op, size_t size) {
  const bool outer_backslash =
      !op.key_path.empty() && (op.key_path.front() == '\\' || op.key_path.back() == '\\');
  return !outer_backslash && op.line >= 1 && static_cast<size_t>(op.line) <= size + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A single-byte and a double-byte code page, chosen by the input's length.
  static const std::unique_ptr<CodePage> kWestern = tarnscan::platform::MakeCodePage(1252);
  static const std::unique_ptr<CodePage> kChinese = tarnscan::platform::MakeCodePage(936);
  const CodePage& code_page = size % 2 == 0 ? *kWestern : *kChinese;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    for (const RegFileOp& op : tarnscan::platform::ParseRegFile(bytes, "fuzz.reg", code_page)) {
      if (!Plausible(op, size)) __builtin_trap();
    }
  } catch (const tarnscan::platform::RegFileError&) {
  }
  return 0;
}
