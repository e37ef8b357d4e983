// Executables come from the scanned disk and may be damaged or built to
// mislead: any bytes must give version data or nothing, never a crash, a
// hang or a read outside the file. Every query the scanner makes is asked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/byte_source.h"
#include "platform/codepage.h"
#include "platform/offline/pe_version.h"

namespace {

using tarnscan::platform::ByteSource;
using tarnscan::platform::CodePage;

// Fails loudly on any request that reaches past the data.
class StrictSource final : public ByteSource {
 public:
  StrictSource(const uint8_t* data, size_t size)
      : inner_(std::string_view(reinterpret_cast<const char*>(data), size)) {}
  uint64_t Size() const override { return inner_.Size(); }
  size_t ReadAt(uint64_t offset, void* out, size_t count) const override {
    if (offset > Size() || count > Size() - offset) std::abort();
    return inner_.ReadAt(offset, out, count);
  }

 private:
  tarnscan::platform::MemoryByteSource inner_;
};

constexpr const char* kQueries[] = {
    "\\StringFileInfo\\040904E4\\CompanyName",
    "\\StringFileInfo\\040904B0\\CompanyName",
    "\\StringFileInfo\\040904E4\\LegalCopyRight",
    "\\",
    "\\VarFileInfo\\Translation",
    "StringFileInfo\\\\040904e4\\\\companyname\\x\\y\\z",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<CodePage> kWestern = tarnscan::platform::MakeCodePage(1252);
  static const std::unique_ptr<CodePage> kChinese = tarnscan::platform::MakeCodePage(936);
  const CodePage& code_page = size % 2 == 0 ? *kWestern : *kChinese;

  const StrictSource file(data, size);
  const auto version = tarnscan::platform::ReadVersionResource(file, code_page);
  if (!version) return 0;
  // The fixed block is taken whatever it holds; AddressSanitizer checks
  // that taking it stays inside the data.
  (void)version->Fixed();
  if (const auto translations = version->Translations()) {
    if (translations->size() > size / 4) std::abort();
    for (uint32_t entry : *translations) {
      char path[64];
      std::snprintf(path, sizeof path, "\\StringFileInfo\\%04X%04X\\CompanyName", entry & 0xFFFF,
                    entry >> 16);
      if (const auto text = version->String(path); text && text->size() > 2 * size) std::abort();
    }
  }
  for (const char* query : kQueries) {
    // A DBCS code page can make two bytes of one UTF-16 unit, no more.
    if (const auto text = version->String(query); text && text->size() > 2 * size) std::abort();
  }
  return 0;
}
