#include "main/scan_driver.h"

#include <exception>

#include "fileinfo/version_info.h"
#include "platform/clock.h"

namespace tarnscan {
namespace {

using platform::RootKey;

constexpr char kBannerChar = '\xBB';  // "»" in the ANSI code pages
constexpr size_t kBannerWidth = 73;

void WriteWarning(ScanLog& log) {
  log.Add(
      "WARNING: not all files found by this scanner are bad. Consult with a knowledgable person "
      "before proceeding.");
  log.Add("");
  log.Add(
      "If you see a message in the titlebar saying \"Not responding...\" you can ignore it. "
      "Windows sometimes displays this message due to the high volume of disk I/O. As long as "
      "the hard disk light is flashing, the program is still working properly.");
  log.Add("");
}

void ReadProgramFilesFolder(ScanContext& context) {
  auto& reg = context.reg1;
  reg.CloseKey();
  reg.SetRoot(RootKey::kLocalMachine);
  reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  context.env.prg_files = reg.ReadString("ProgramFilesDir");
  reg.CloseKey();
}

void WriteOperatingSystemLines(ScanContext& context) {
  auto& reg = context.reg1;
  reg.SetRoot(RootKey::kLocalMachine);
  if (context.env.os_family == "98") {
    reg.OpenKey("SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
    context.log.Add("Product Name: " + reg.ReadString("Version") +
                    "    Version: " + reg.ReadString("VersionNumber"));
    reg.CloseKey();
    reg.OpenKey("SOFTWARE\\Microsoft\\Internet Explorer");
    context.log.Add("Internet Explorer Version: " + reg.ReadString("Version"));
  } else {
    reg.OpenKey("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
    context.log.Add(reg.ReadString("ProductName") + " " + reg.ReadString("CSDVersion") +
                    " (Version = " + reg.ReadString("CurrentVersion") + "." +
                    reg.ReadString("CurrentBuildNumber") + ")");
    reg.CloseKey();
    reg.OpenKey("SOFTWARE\\Microsoft\\Internet Explorer");
    context.log.Add("Internet Explorer (Version = " + reg.ReadString("Version") + ")");
  }
  reg.CloseKey();
}

void WriteHeader(ScanContext& context) {
  context.log.Add(BlockBanner(kBannerVersions));
  context.log.Add("Logfile created on: " + platform::FormatDateTime(context.system.clock->Now(),
                                                                    context.system.date_format));
  context.log.Add("Tarnscan " + std::string(kVersionText) + "\tFolder = " + context.program_folder);
  WriteOperatingSystemLines(context);
}

void RunFolderSections(ScanContext& context) {
  for (const auto& row : FolderSections()) {
    if (context.options.Ticked(row.box) && row.run != nullptr) row.run(context);
    context.SetStatus("");
  }
}

void RunRegistrySections(ScanContext& context) {
  for (const auto& row : RegistrySections()) {
    if (!context.options.Ticked(row.box)) continue;
    const bool show_all = !row.show_all_box.empty() && context.options.Ticked(row.show_all_box);
    context.log.Add(std::string(show_all ? row.banner_show_all : row.banner));
    if (row.run != nullptr) row.run(context);
  }
}

void RunSections(ScanContext& context) {
  context.log.Add("");
  context.log.Add(BlockBanner(kBannerStandardFolders));
  context.log.Add("");
  RunFolderSections(context);

  context.log.Add(BlockBanner(kBannerStartupFolders));
  context.log.Add("");
  if (Section startup = StartupFoldersSection()) startup(context);

  context.log.Add(BlockBanner(kBannerRegistry));
  context.log.Add("");
  context.SetCaption("Tarnscan - scanning Registry...");
  RunRegistrySections(context);

  if (context.options.Ticked("chkAddOns")) {
    context.log.Add(">>> Selected AddOn's <<<");
    context.log.Add("");
    if (Section addons = AddOnsSection()) addons(context);
  }
}

void BeginScan(ScanContext& context) {
  context.log.Clear();
  WriteWarning(context.log);
  CreateScanObjects(context);
  ReadProgramFilesFolder(context);
}

void EndScan(ScanContext& context) {
  context.reg2.reset();
  context.pattern_set.reset();
  context.file_facts.reset();
}

}  // namespace

void CreateScanObjects(ScanContext& context) {
  context.reg2 = std::make_unique<platform::RegistryReader>(*context.system.registry);
  context.key_list.clear();
  context.key_list2.clear();
  context.key_list3.clear();
  context.pattern_set = platform::MakePatternSet(context.patterns);
  context.file_facts =
      std::make_shared<FileFactsCache>(*context.system.facts, *context.system.files);
}

std::string BlockBanner(std::string_view title) {
  // Every banner has a left run of 17 except "Scan Complete", which the
  // original centres with 24.
  const size_t left = title == kBannerComplete ? 24 : 17;
  std::string banner(left, kBannerChar);
  banner += ' ';
  banner += title;
  banner += ' ';
  banner.append(kBannerWidth - banner.size(), kBannerChar);
  return banner;
}

ScanResult RunScan(ScanContext& context, const ReportTarget& target) {
  ScanResult result;
  try {
    BeginScan(context);
    WriteHeader(context);
    RunSections(context);
    context.log.Add("");
    context.log.Add(BlockBanner(kBannerComplete));
    context.SetCaption("Tarnscan - scan complete!");
    result.completed = true;
  } catch (const std::exception& error) {
    // A value of the wrong type planted in the registry must not cost the
    // helper everything collected so far: save it and say why it stopped.
    result.error = error.what();
    context.log.Add("");
    context.log.Add("Scan ended early: " + result.error);
  }
  try {
    target.save(context.log.Text());
    result.saved = true;
  } catch (const std::exception& error) {
    result.completed = false;
    result.save_error = error.what();
  }
  EndScan(context);
  if (result.completed) {
    context.system.shell->Open(context.env.win_dir + "\\notepad.exe", target.path);
  }
  return result;
}

std::vector<std::string> FailureLines(const ScanResult& result, std::string_view report_path) {
  std::vector<std::string> lines;
  if (!result.error.empty()) lines.push_back(result.error);
  if (!result.save_error.empty()) lines.push_back(result.save_error);
  if (!result.error.empty() && result.saved) {
    lines.push_back("The report so far was saved to " + std::string(report_path) + ".");
  }
  return lines;
}

}  // namespace tarnscan
