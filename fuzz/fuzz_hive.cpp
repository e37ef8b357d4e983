// Hive files come from the scanned image: any bytes must open as a hive or
// give HiveError, and every walk of the registry built from them must end,
// without a crash, a read outside the bytes or an endless loop. The tail of
// the input past the hive's own size is also offered as its transaction
// log, so log replay sees hostile logs too.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_log.h"
#include "platform/offline/hive_registry.h"

namespace {

using namespace tarnscan::platform;

constexpr int kMaxDepth = 12;
constexpr size_t kMaxKeys = 4000;

// Opens every key by path from the root, as the scanner does, and reads
// every value; bounded so a wide hive ends quickly.
void Walk(const Registry& registry, const std::string& path, int depth, size_t& keys) {
  if (depth > kMaxDepth || keys >= kMaxKeys) return;
  const auto key = registry.Open(RootKey::kLocalMachine, path, Access::kRead);
  if (!key) return;
  ++keys;
  for (const auto& name : key->ValueNames()) key->Value(name);
  key->Value("");
  key->Value("Missing");
  for (const auto& name : key->SubKeyNames()) {
    if (name.empty() || name.find('\\') != std::string::npos) continue;
    Walk(registry, path + "\\" + name, depth + 1, keys);
  }
}

void ReadHive(std::string bytes, const CodePage& code_page) {
  std::shared_ptr<const Hive> hive;
  try {
    hive = Hive::FromBytes(std::move(bytes), "fuzz");
  } catch (const HiveError&) {
    return;
  }
  HiveRegistry registry(code_page, [](const std::string&) {});
  registry.Mount(RootKey::kLocalMachine, "H", hive);
  registry.MountAlias(RootKey::kLocalMachine, "H2", RootKey::kLocalMachine, "H\\Select");
  size_t keys = 0;
  Walk(registry, "H", 0, keys);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::unique_ptr<CodePage> kWestern = MakeCodePage(1252);
  static const std::unique_ptr<CodePage> kRussian = MakeCodePage(1251);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const CodePage& code_page = size % 2 == 0 ? *kWestern : *kRussian;

  size_t hive_size = size;
  if (const auto header = ParseHiveHeader(input)) {
    const uint64_t declared = kHiveBaseBlockSize + static_cast<uint64_t>(header->bins_size);
    if (declared < size) hive_size = static_cast<size_t>(declared);
  }
  const std::string_view primary = input.substr(0, hive_size);
  ReadHive(std::string(primary), code_page);

  if (hive_size < size) {
    std::string why;
    const auto replay =
        ReplayHiveLogs(primary, {{"fuzz.LOG1", std::string(input.substr(hive_size))}}, &why);
    if (replay) ReadHive(replay->bytes, code_page);
  }
  return 0;
}
