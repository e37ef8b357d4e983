// The hive reader on a SOFTWARE hive of real size (100,000 CLSIDs, see
// software_hive.h). Measured: opening the file and looking up every
// CLSID's InprocServer32 default value through the registry the scanner
// uses, as the CLSID resolution of a scan does.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_registry.h"
#include "software_hive.h"

namespace {

using namespace tarnscan::platform;
using tarnscan::bench::Guid;
using tarnscan::bench::kClsidCount;
using tarnscan::bench::PeakMemoryMiB;

class SoftwareHive {
 public:
  SoftwareHive() {
    for (int i = 0; i < kClsidCount; ++i) guids_.push_back(Guid(i));
    path_ = (std::filesystem::temp_directory_path() /
             ("tarnscan-bench-SOFTWARE-" + std::to_string(getpid())))
                .string();
    size_ = tarnscan::bench::WriteSoftwareHive(path_, false);
  }
  ~SoftwareHive() { std::filesystem::remove(path_); }

  const std::string& path() const { return path_; }
  const std::vector<std::string>& guids() const { return guids_; }
  uintmax_t size() const { return size_; }

 private:
  std::string path_;
  std::vector<std::string> guids_;
  uintmax_t size_ = 0;
};

const SoftwareHive& Hive100k() {
  static const SoftwareHive hive;
  return hive;
}

void BM_OpenAndResolveEveryClsid(benchmark::State& state) {
  const SoftwareHive& fixture = Hive100k();
  const auto code_page = MakeCodePage(1252);
  size_t found = 0;
  for (auto _ : state) {
    HiveRegistry registry(*code_page);
    registry.Mount(RootKey::kLocalMachine, "SOFTWARE", Hive::OpenFile(fixture.path()));
    found = 0;
    for (const auto& guid : fixture.guids()) {
      auto key =
          registry.Open(RootKey::kLocalMachine,
                        "SOFTWARE\\Classes\\CLSID\\" + guid + "\\InprocServer32", Access::kRead);
      if (key && key->Value("")) ++found;
    }
    benchmark::DoNotOptimize(found);
  }
  if (found != fixture.guids().size()) state.SkipWithError("a CLSID was not found");
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(fixture.guids().size()),
                                                benchmark::Counter::kIsIterationInvariantRate);
  state.counters["hive_MB"] = static_cast<double>(fixture.size()) / 1e6;
  state.counters["peak_MiB"] = PeakMemoryMiB();
}
BENCHMARK(BM_OpenAndResolveEveryClsid)->Unit(benchmark::kMillisecond);

// The hive reader alone: the same lookups by cell, without the registry's
// path handling and text conversion.
void BM_HiveLookupsOnly(benchmark::State& state) {
  const SoftwareHive& fixture = Hive100k();
  const auto hive = Hive::OpenFile(fixture.path());
  auto upper = [](const std::string& text) {
    std::u16string wide(text.begin(), text.end());
    for (auto& c : wide) c = UpcaseUnit(c);
    return wide;
  };
  std::vector<std::u16string> names;
  for (const auto& guid : fixture.guids()) names.push_back(upper(guid));
  Cell classes = 0, clsid = 0;
  hive->FindSubkey(*hive->Key(hive->Root()), u"CLASSES", &classes);
  hive->FindSubkey(*hive->Key(classes), u"CLSID", &clsid);
  const auto clsid_key = *hive->Key(clsid);
  for (auto _ : state) {
    size_t found = 0;
    for (const auto& name : names) {
      Cell cell = 0, server = 0;
      if (hive->FindSubkey(clsid_key, name, &cell) == Hive::Lookup::kFound &&
          hive->FindSubkey(*hive->Key(cell), u"INPROCSERVER32", &server) == Hive::Lookup::kFound) {
        ++found;
      }
    }
    benchmark::DoNotOptimize(found);
  }
  state.counters["keys/s"] = benchmark::Counter(static_cast<double>(names.size()),
                                                benchmark::Counter::kIsIterationInvariantRate);
  state.counters["peak_MiB"] = PeakMemoryMiB();
}
BENCHMARK(BM_HiveLookupsOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
