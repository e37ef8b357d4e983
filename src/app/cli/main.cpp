// tarnscan: the scan of a Windows system at rest, from the command line.
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "app/command_line.h"
#include "app/scan_command.h"
#include "platform/memory/memory_file_system.h"
#include "platform/memory/system_folder.h"
#include "platform/offline/host_files.h"
#include "platform/offline/image_system.h"

namespace fs = std::filesystem;
using namespace tarnscan;

namespace {

std::string ProgramDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::current_path().string() : self.parent_path().string();
}

// The AddOn files live on this machine, not on the scanned system: they
// are offered to the core as a folder of a small file system of their own.
constexpr const char* kPluginsFolder = "P:\\plugins";

std::unique_ptr<platform::MemoryFileSystem> LoadPlugins(const std::string& dir) {
  auto files = std::make_unique<platform::MemoryFileSystem>();
  std::error_code error;
  if (!fs::is_directory(dir, error)) return files;
  files->AddFolder(kPluginsFolder);
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (!entry.is_regular_file(error)) continue;
    files->AddHostFile(std::string(kPluginsFolder) + "\\" + entry.path().filename().string(),
                       entry.path().string(), entry.file_size(error));
  }
  return files;
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
  const platform::System system = LoadSystem(line);
  const auto plugin_files = LoadPlugins(line.plugins_dir);
  CommandHost host;
  host.name = "tarnscan";
  host.program_folder = ProgramDirectory() + "/";
  host.plugin_files = plugin_files.get();
  host.plugins_folder = kPluginsFolder;
  host.plugins_shown = line.plugins_dir;
  host.report_path = fs::absolute(line.out_file).string();
  host.progress_on_terminal = isatty(STDERR_FILENO) != 0;
  host.read_file = platform::ReadHostFile;
  host.save_file = platform::SaveHostFileAtomically;
  return RunScanCommand(line, system, host);
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
  } catch (const std::exception& error) {
    // Whatever else escapes is said in one line, never an abort.
    std::cerr << "tarnscan: " << error.what() << '\n';
    return kExitScanError;
  }
}
