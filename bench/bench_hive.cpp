// A SOFTWARE hive of real size: 100,000 CLSIDs, each with a description,
// an InprocServer32 key and its default value and threading model (about
// 60 MB, written once by the project's hive writer). Measured: opening the
// file and looking up every CLSID's InprocServer32 default value through
// the registry the scanner uses, as the CLSID resolution of a scan does.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/offline/hive.h"
#include "platform/offline/hive_registry.h"
#include "platform/offline/hive_writer.h"

namespace {

using namespace tarnscan::platform;

constexpr int kClsidCount = 100000;

std::string Guid(int i) {
  char text[64];
  const auto n = static_cast<uint64_t>(i);
  std::snprintf(text, sizeof text, "{%08llX-%04X-11D0-A1B2-%012llX}",
                static_cast<unsigned long long>((0x3C374A40u + n * 7919u) & 0xFFFFFFFFu),
                static_cast<unsigned>(i % 0xFFFF), static_cast<unsigned long long>(n * 104729u));
  return text;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class SoftwareHive {
 public:
  SoftwareHive() {
    for (int i = 0; i < kClsidCount; ++i) guids_.push_back(Guid(i));
    path_ = (std::filesystem::temp_directory_path() /
             ("tarnscan-bench-SOFTWARE-" + std::to_string(getpid())))
                .string();
    // Written by a child process, so the peak memory measured here is the
    // reader's, not the writer's.
    const pid_t child = fork();
    if (child == 0) {
      Write();
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    size_ = std::filesystem::file_size(path_);
  }
  ~SoftwareHive() { std::filesystem::remove(path_); }

  void Write() const {
    HiveWriter writer;
    auto clsid = writer.AddKey(writer.AddKey(writer.Root(), u"Classes"), u"CLSID");
    for (int i = 0; i < kClsidCount; ++i) {
      auto key = writer.AddKey(clsid, Wide(guids_[i]));
      writer.SetValue(key, u"", kRegSz,
                      RegSzData(u"Component object number " + Wide(std::to_string(i))));
      auto server = writer.AddKey(key, u"InprocServer32");
      writer.SetValue(server, u"", kRegExpandSz,
                      RegSzData(u"%SystemRoot%\\system32\\components\\library" +
                                Wide(std::to_string(i)) + u".dll"));
      writer.SetValue(server, u"ThreadingModel", kRegSz, RegSzData(u"Apartment"));
    }
    const std::string bytes = writer.Build();
    std::ofstream(path_, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  const std::string& path() const { return path_; }
  const std::vector<std::string>& guids() const { return guids_; }
  size_t size() const { return size_; }

 private:
  std::string path_;
  std::vector<std::string> guids_;
  size_t size_ = 0;
};

const SoftwareHive& Hive100k() {
  static const SoftwareHive hive;
  return hive;
}

double PeakMemoryMiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
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
