// tarnscan: the scan of a Windows system at rest, from the command line.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "app/command_line.h"
#include "main/scan_driver.h"
#include "main/startup.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/system_folder.h"
#include "platform/offline/host_files.h"
#include "platform/offline/image_system.h"

namespace fs = std::filesystem;
using namespace tarnscan;

namespace {

constexpr int kExitCompleted = 0;
constexpr int kExitScanError = 1;
constexpr int kExitUsage = 2;

std::string ProgramDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::current_path().string() : self.parent_path().string();
}

// The AddOn files live on this machine, not on the scanned system: they
// are offered to the core as a folder of a small file system of their own.
constexpr const char* kPluginsFolder = "P:\\plugins";

std::unique_ptr<platform::MemoryFileSystem> LoadPlugins(const std::string& dir, bool& found) {
  auto files = std::make_unique<platform::MemoryFileSystem>();
  std::error_code error;
  found = fs::is_directory(dir, error);
  if (!found) return files;
  files->AddFolder(kPluginsFolder);
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (!entry.is_regular_file(error)) continue;
    files->AddHostFile(std::string(kPluginsFolder) + "\\" + entry.path().filename().string(),
                       entry.path().string(), entry.file_size(error));
  }
  return files;
}

class Progress {
 public:
  explicit Progress(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO) != 0) {}
  ~Progress() { Clear(); }

  void Caption(const std::string& text) {
    caption_ = text;
    Show(text, true);
  }
  void Status(const std::string& text) {
    if (terminal_ && !text.empty()) Show(text, false);
  }
  void Clear() {
    if (!quiet_ && terminal_ && shown_) std::cerr << "\r\x1b[K" << std::flush;
    shown_ = false;
  }

 private:
  void Show(const std::string& text, bool is_caption) {
    if (quiet_ || text.empty()) return;
    if (terminal_) {
      std::cerr << "\r\x1b[K" << text.substr(0, 150) << std::flush;
      shown_ = true;
    } else if (is_caption) {
      std::cerr << text << '\n';
    }
  }

  bool quiet_;
  bool terminal_;
  bool shown_ = false;
  std::string caption_;
};

void ListOptions(const ScanOptions& options) {
  for (const auto& box : OptionBoxes()) {
    std::cout << box.name.substr(3) << '\t' << (options.Ticked(box.name) ? "ticked" : "unticked")
              << '\t'
              << (box.caption.empty() ? "Show All of " + std::string(box.show_all_of.substr(3))
                                      : std::string(box.caption))
              << '\n';
  }
  for (const auto& addon : options.AddOns()) {
    std::cout << "AddOn\t" << (addon.checked ? "ticked" : "unticked") << '\t' << addon.name
              << '\n';
  }
}

platform::System LoadSystem(const CommandLine& line) {
  if (line.image_root.empty()) {
    platform::SystemFolderOptions folder_options;
    folder_options.as_of = line.as_of;
    return platform::LoadSystemFolder(line.system_dir, folder_options);
  }
  if (const auto problem = platform::ReportPathProblem(line.out_file, line.image_root);
      !problem.empty()) {
    throw platform::ImageError(problem);
  }
  platform::ImageOptions image;
  image.root = line.image_root;
  image.user = line.user;
  image.drives = line.drives;
  image.replay_logs = line.replay_logs;
  image.as_of = line.as_of;
  if (line.quiet) image.message = [](const std::string&) {};
  return platform::LoadImageSystem(image);
}

int Run(const CommandLine& line) {
  platform::System system = LoadSystem(line);

  ScanOptions options;
  bool plugins_found = false;
  auto plugin_files = LoadPlugins(line.plugins_dir, plugins_found);
  ScanContext context(system, options);
  context.program_folder = ProgramDirectory() + "/";
  context.plugin_files = plugin_files.get();
  context.plugins_folder = kPluginsFolder;
  if (!Startup(context)) {
    std::cerr << "tarnscan: no plugins folder '" << line.plugins_dir
              << "': the AddOn list is empty\n";
  }
  std::string problem = ApplyOptionChoices(line, options);
  if (!problem.empty()) {
    std::cerr << "tarnscan: " << problem << '\n';
    return kExitUsage;
  }
  if (line.list_options) {
    ListOptions(options);
    return kExitCompleted;
  }
  try {
    context.patterns = SplitTextLines(platform::ReadHostFile(line.patterns_file));
  } catch (const std::exception& error) {
    std::cerr << "tarnscan: cannot read the patterns file '" << line.patterns_file
              << "': " << error.what() << '\n';
    return kExitUsage;
  }

  Progress progress(line.quiet);
  context.progress.caption = [&](const std::string& text) { progress.Caption(text); };
  context.progress.status = [&](const std::string& text) { progress.Status(text); };
  const std::string out = fs::absolute(line.out_file).string();
  ReportTarget target{out, [&](const std::string& bytes) {
                        platform::SaveHostFileAtomically(
                            out, line.utf8 ? platform::Utf16ToUtf8(
                                                 system.code_page->ToUtf16(bytes))
                                           : bytes);
                      }};
  const ScanResult result = RunScan(context, target);
  progress.Clear();
  if (!result.completed) {
    std::cerr << "tarnscan: " << result.error << '\n';
    if (context.log.Lines().empty() || context.log.Lines().back().rfind("Scan ended early", 0)) {
      return kExitScanError;  // the report itself could not be written
    }
    std::cerr << "tarnscan: the report so far was saved to " << out << '\n';
    return kExitScanError;
  }
  std::cout << "Report written to " << out << '\n';
  return kExitCompleted;
}

}  // namespace

int main(int argc, char** argv) {
  CommandLine line;
  const std::string problem = ParseCommandLine(argc, argv, line);
  if (!problem.empty()) {
    std::cerr << "tarnscan: " << problem << "\n" << kUsage;
    return kExitUsage;
  }
  if (line.help) {
    std::cout << kUsage;
    return kExitCompleted;
  }
  if (line.plugins_dir.empty()) line.plugins_dir = ProgramDirectory() + "/plugins";
  try {
    return Run(line);
  } catch (const platform::SystemFolderError& error) {
    std::cerr << "tarnscan: " << error.what() << '\n';
    return kExitUsage;
  } catch (const platform::ImageError& error) {
    std::cerr << "tarnscan: " << error.what() << '\n';
    return kExitUsage;
  }
}
