// How fast the version facts of a folder of executables are read: the
// offline file facts over real files (Wine's PE DLLs when installed,
// otherwise made ones), as the scan's file lines need them.
//
//   cmake -S . -B build-bench -G Ninja -DTARNSCAN_BENCH=ON -DCMAKE_BUILD_TYPE=Release
//   cmake --build build-bench --target bench_version_info
//   build-bench/bench/bench_version_info
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fileinfo/md5.h"
#include "fileinfo/version_info.h"
#include "platform/byte_source.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/memory_registry.h"
#include "platform/offline/file_facts_offline.h"
#include "platform/offline/pe_version.h"

namespace tarnscan {
namespace {

namespace fs = std::filesystem;
using platform::PutLe16;
using platform::PutLe32;

constexpr char kWineFolder[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
constexpr size_t kMadeFiles = 500;

// A PE32 DLL with a version resource, written here so the benchmark needs
// nothing from the test support library.
std::string MadeDll(size_t index);

struct Folder {
  platform::MemoryFileSystem files;
  platform::MemoryRegistry registry;
  std::unique_ptr<platform::CodePage> code_page = platform::MakeCodePage(1252);
  std::vector<std::string> paths;
  uint64_t bytes = 0;
  std::string source;

  Folder() {
    std::error_code error;
    if (fs::is_directory(kWineFolder, error)) {
      for (const auto& entry : fs::directory_iterator(kWineFolder, error)) {
        if (!entry.is_regular_file(error)) continue;
        const std::string path = "C:\\WINDOWS\\system32\\" + entry.path().filename().string();
        const uint64_t size = entry.file_size(error);
        files.AddHostFile(path, entry.path().string(), size);
        paths.push_back(path);
        bytes += size;
      }
      source = "wine";
    }
    if (paths.empty()) {
      for (size_t i = 0; i < kMadeFiles; ++i) {
        const std::string path = "C:\\WINDOWS\\system32\\made" + std::to_string(i) + ".dll";
        std::string dll = MadeDll(i);
        bytes += dll.size();
        files.AddFile(path, std::move(dll));
        paths.push_back(path);
      }
      source = "made";
    }
  }
};

const Folder& TheFolder() {
  static const Folder folder;
  return folder;
}

void SetCounters(benchmark::State& state, const Folder& folder, size_t with_company) {
  const double files = static_cast<double>(folder.paths.size());
  state.counters["files"] = files;
  state.counters["with_company"] = static_cast<double>(with_company);
  state.counters["files_per_second"] = benchmark::Counter(
      files * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(folder.source);
}

// Every file read afresh, as without the per-scan cache.
void BM_ReadFileVersionInfo(benchmark::State& state) {
  const Folder& folder = TheFolder();
  const platform::OfflineFileFacts facts(folder.files, folder.registry, *folder.code_page);
  size_t with_company = 0;
  for (auto _ : state) {
    with_company = 0;
    for (const std::string& path : folder.paths) {
      try {
        const TFileVersionInfo info = ReadFileVersionInfo(facts, path);
        with_company += info.CompanyName.empty() ? 0 : 1;
        benchmark::DoNotOptimize(info);
      } catch (const VersionInfoError&) {
      }
    }
  }
  SetCounters(state, folder, with_company);
}
BENCHMARK(BM_ReadFileVersionInfo)->Unit(benchmark::kMillisecond);

// The same folder named again later in the scan: answered by the cache.
void BM_FileWithCompanyCached(benchmark::State& state) {
  const Folder& folder = TheFolder();
  const platform::OfflineFileFacts facts(folder.files, folder.registry, *folder.code_page);
  FileFactsCache cache(facts, folder.files);
  for (const std::string& path : folder.paths) FileWithCompany(cache, path);
  size_t with_company = 0;
  for (auto _ : state) {
    with_company = 0;
    for (const std::string& path : folder.paths) {
      with_company += FileWithCompany(cache, path) != " ()" ? 1 : 0;
    }
  }
  SetCounters(state, folder, with_company);
}
BENCHMARK(BM_FileWithCompanyCached)->Unit(benchmark::kMillisecond);

void BM_FileMD5(benchmark::State& state) {
  platform::MemoryFileSystem files;
  std::string bytes(static_cast<size_t>(state.range(0)), '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31);
  files.AddFile("C:\\big.bin", std::move(bytes));
  for (auto _ : state) benchmark::DoNotOptimize(FileMD5(files, "C:\\big.bin"));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FileMD5)->Arg(4096)->Arg(16 << 20)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------

void Pad(std::string& out) {
  while (out.size() % 4 != 0) out.push_back('\0');
}

std::string Block(std::string_view key, std::string_view value, uint16_t value_length,
                  uint16_t type, const std::vector<std::string>& children) {
  std::string out(6, '\0');
  PutLe16(out, 2, value_length);
  PutLe16(out, 4, type);
  for (char c : key) out += std::string{c, '\0'};
  out += std::string(2, '\0');
  Pad(out);
  out += value;
  for (const std::string& child : children) {
    Pad(out);
    out += child;
  }
  PutLe16(out, 0, static_cast<uint32_t>(out.size()));
  return out;
}

std::string Wide(std::string_view text) {
  std::string out;
  for (char c : text) out += std::string{c, '\0'};
  return out + std::string(2, '\0');
}

std::string MadeDll(size_t index) {
  const std::string company = "Company number " + std::to_string(index);
  std::vector<std::string> strings;
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"CompanyName", company},
                                   {"FileVersion", "1.0.0." + std::to_string(index)},
                                   {"ProductName", "Benchmark"}}) {
    const std::string text = Wide(value);
    strings.push_back(Block(key, text, static_cast<uint16_t>(text.size() / 2), 1, {}));
  }
  std::string fixed(52, '\0');
  PutLe32(fixed, 0, 0xFEEF04BD);
  PutLe32(fixed, 36, 2);
  const std::string translation("\x09\x04\xE4\x04", 4);
  const std::string version =
      Block("VS_VERSION_INFO", fixed, 52, 0,
            {Block("StringFileInfo", "", 0, 1, {Block("040904E4", "", 0, 1, strings)}),
             Block("VarFileInfo", "", 0, 1, {Block("Translation", translation, 4, 0, {})})});

  // Resource directory: type 16 -> name 1 -> language 0409 -> data.
  std::string rsrc(16 * 3 + 8 * 3 + 16, '\0');
  PutLe16(rsrc, 14, 1);
  PutLe32(rsrc, 16, 16);
  PutLe32(rsrc, 20, 0x80000000u | 24);
  PutLe16(rsrc, 24 + 14, 1);
  PutLe32(rsrc, 24 + 16, 1);
  PutLe32(rsrc, 24 + 20, 0x80000000u | 48);
  PutLe16(rsrc, 48 + 14, 1);
  PutLe32(rsrc, 48 + 16, 0x0409);
  PutLe32(rsrc, 48 + 20, 72);
  PutLe32(rsrc, 72, 0x1000 + 88);
  PutLe32(rsrc, 76, static_cast<uint32_t>(version.size()));
  rsrc += version;
  const uint32_t raw = (static_cast<uint32_t>(rsrc.size()) + 0x1FF) & ~0x1FFu;
  rsrc.resize(raw, '\0');

  std::string out(0x200, '\0');
  out[0] = 'M';
  out[1] = 'Z';
  PutLe32(out, 0x3C, 0x80);
  out.replace(0x80, 4, std::string("PE\0\0", 4));
  PutLe16(out, 0x84, 0x14C);
  PutLe16(out, 0x86, 1);
  PutLe16(out, 0x94, 224);
  PutLe16(out, 0x96, 0x2102);
  const size_t opt = 0x98;
  PutLe16(out, opt, 0x10B);
  PutLe32(out, opt + 32, 0x1000);
  PutLe32(out, opt + 36, 0x200);
  PutLe32(out, opt + 56, 0x1000 + ((raw + 0xFFF) & ~0xFFFu));
  PutLe32(out, opt + 60, 0x200);
  PutLe32(out, opt + 92, 16);
  PutLe32(out, opt + 96 + 16, 0x1000);
  PutLe32(out, opt + 96 + 20, static_cast<uint32_t>(rsrc.size()));
  const size_t section = opt + 224;
  out.replace(section, 5, ".rsrc");
  PutLe32(out, section + 8, raw);
  PutLe32(out, section + 12, 0x1000);
  PutLe32(out, section + 16, raw);
  PutLe32(out, section + 20, 0x200);
  PutLe32(out, section + 36, 0x40000040);
  out.resize(0x200, '\0');
  return out + rsrc;
}

}  // namespace
}  // namespace tarnscan

BENCHMARK_MAIN();
