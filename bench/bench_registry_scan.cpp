// The registry part of a scan of a Windows image at rest: a 55 MB SOFTWARE
// hive with 100,000 CLSIDs and the hook keys of a well-used PC naming
// them (software_hive.h), a SYSTEM hive with its Winsock catalogs and a
// user's NTUSER.DAT. Measured: loading the image and running every
// registry section with every "Show All" box ticked, the folder sections
// unticked, the report kept in memory. Counted: the keys the scan opened.
// TARNSCAN_BENCH_REPORT=FILE saves the report.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "main/options.h"
#include "main/scan_context.h"
#include "main/scan_driver.h"
#include "main/startup.h"
#include "platform/offline/image_system.h"
#include "software_hive.h"

namespace {

using namespace tarnscan;
using namespace tarnscan::platform;
using tarnscan::bench::AddPath;
using tarnscan::bench::Sz;
using tarnscan::bench::Wide;

void WriteHive(const HiveWriter& writer, const std::string& path) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  const std::string bytes = writer.Build();
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void WriteSystemHive(const std::string& path) {
  HiveWriter writer;
  writer.SetValue(AddPath(writer, writer.Root(), "Select"), u"Current", kRegDword, DwordData(1));
  const std::string parameters = "ControlSet001\\Services\\WinSock2\\Parameters\\";
  auto protocols =
      AddPath(writer, writer.Root(), parameters + "Protocol_Catalog9\\Catalog_Entries");
  for (int i = 1; i <= 24; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%012d", i);
    std::string packed = "%SystemRoot%\\system32\\mswsock.dll";
    packed.resize(0x3a8, '\0');
    writer.SetValue(writer.AddKey(protocols, Wide(name)), u"PackedCatalogItem", kRegBinary, packed);
  }
  auto spaces = AddPath(writer, writer.Root(), parameters + "NameSpace_Catalog5\\Catalog_Entries");
  for (int i = 1; i <= 6; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "%012d", i);
    writer.SetValue(writer.AddKey(spaces, Wide(name)), u"LibraryPath", kRegExpandSz,
                    Sz("%SystemRoot%\\System32\\mswsock.dll"));
  }
  WriteHive(writer, path);
}

void WriteUserHive(const std::string& path) {
  HiveWriter writer;
  auto run = AddPath(writer, writer.Root(), "Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  for (int i = 0; i < 15; ++i) {
    writer.SetValue(run, Wide("UserProgram" + std::to_string(i)), kRegSz,
                    Sz("C:\\Documents and Settings\\owner\\Application Data\\tool" +
                       std::to_string(i) + ".exe"));
  }
  auto main = AddPath(writer, writer.Root(), "Software\\Microsoft\\Internet Explorer\\Main");
  writer.SetValue(main, u"Start Page", kRegSz, Sz("http://www.example.com/"));
  WriteHive(writer, path);
}

class Image {
 public:
  Image() {
    root_ = (std::filesystem::temp_directory_path() /
             ("tarnscan-bench-image-" + std::to_string(getpid())))
                .string();
    const std::string config = root_ + "/WINDOWS/system32/config";
    std::filesystem::create_directories(config);
    software_size_ = tarnscan::bench::WriteSoftwareHive(config + "/SOFTWARE", true);
    WriteSystemHive(config + "/SYSTEM");
    WriteUserHive(root_ + "/Documents and Settings/owner/NTUSER.DAT");
  }
  ~Image() { std::filesystem::remove_all(root_); }

  const std::string& root() const { return root_; }
  uintmax_t software_size() const { return software_size_; }

 private:
  std::string root_;
  uintmax_t software_size_ = 0;
};

// Counts the keys a scan opens.
class CountingRegistry : public Registry {
 public:
  explicit CountingRegistry(std::unique_ptr<Registry> inner) : inner_(std::move(inner)) {}
  std::unique_ptr<RegistryKey> Open(RootKey root, std::string_view path,
                                    Access access) const override {
    ++opens_;
    return inner_->Open(root, path, access);
  }
  size_t opens() const { return opens_; }

 private:
  std::unique_ptr<Registry> inner_;
  mutable size_t opens_ = 0;
};

void TickEveryRegistryBox(ScanOptions& options) {
  options.FolderRemoveAll();
  for (const auto& box : OptionBoxes()) {
    if (box.group == OptionGroup::kRegistry) options.Set(box.name, true);
  }
}

// TARNSCAN_BENCH_REPORT=FILE keeps the report, to see what was measured.
void SaveReportIfAsked(const std::string& bytes) {
  if (const char* path = std::getenv("TARNSCAN_BENCH_REPORT")) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
}

void BM_RegistryPartOfScan(benchmark::State& state) {
  static const Image image;
  size_t opens = 0;
  size_t report_size = 0;
  for (auto _ : state) {
    ImageOptions image_options;
    image_options.root = image.root();
    image_options.user = "owner";
    image_options.as_of = LocalTime{2024, 5, 6, 12, 0, 0};
    image_options.message = [](const std::string&) {};
    System system = LoadImageSystem(image_options);
    auto counting = std::make_unique<CountingRegistry>(std::move(system.registry));
    const CountingRegistry& registry = *counting;
    system.registry = std::move(counting);
    ScanOptions options;
    ScanContext context(system, options);
    Startup(context);
    TickEveryRegistryBox(options);
    const ScanResult result = RunScan(context, ReportTarget{"", [&](const std::string& bytes) {
                                                              report_size = bytes.size();
                                                              SaveReportIfAsked(bytes);
                                                            }});
    if (!result.completed) state.SkipWithError(result.error.c_str());
    opens = registry.opens();
  }
  state.counters["keys/s"] =
      benchmark::Counter(static_cast<double>(opens), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["keys_opened"] = static_cast<double>(opens);
  state.counters["report_KB"] = static_cast<double>(report_size) / 1e3;
  state.counters["hive_MB"] = static_cast<double>(image.software_size()) / 1e6;
  state.counters["peak_MiB"] = tarnscan::bench::PeakMemoryMiB();
}
BENCHMARK(BM_RegistryPartOfScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
