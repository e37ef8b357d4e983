// Everything one scan works with: the scanned system, the options, the
// environment found at start-up, the report and the registry readers and
// name lists the sections share. Sections take it as their one argument;
// nothing about a scan lives in a global.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main/options.h"
#include "main/scan_log.h"
#include "platform/pattern_search.h"
#include "platform/registry_reader.h"
#include "platform/system.h"

namespace tarnscan {

class FileFactsCache;

// The environment globals, found once at start-up (PrgFiles at the start
// of every scan). Empty when start-up could not read them.
struct Environment {
  std::string os_family;  // "xp" (NT family) or "98"
  std::string sys_drv;
  std::string win_dir;
  std::string sys_dir;
  std::string prg_files;
  std::string all_users_dir;
  std::string current_user_dir;
};

// Where the front end shows progress: the window caption and status bar.
struct ScanProgress {
  std::function<void(const std::string&)> caption;
  std::function<void(const std::string&)> status;
};

class ScanContext {
 public:
  ScanContext(const platform::System& system, ScanOptions& options);
  ~ScanContext();
  ScanContext(const ScanContext&) = delete;
  ScanContext& operator=(const ScanContext&) = delete;

  const platform::System& system;
  ScanOptions& options;
  ScanLog log;
  ScanProgress progress;
  Environment env;
  std::vector<std::string> patterns;  // PatternList
  // PatternList compiled for the folder scans, once per scan.
  std::unique_ptr<platform::PatternSet> pattern_set;
  // How many files the folder scans read at once (0: one per core).
  unsigned scan_threads = 0;
  // The program's folder as the report shows it, ending in a separator.
  std::string program_folder;
  // Where the AddOn files lie: a folder of `plugin_files` (on Windows the
  // live file system, offline the host's).
  const platform::FileSystem* plugin_files = nullptr;
  std::string plugins_folder;
  // The folder the hidden file list last listed; relative names resolve
  // against it, as they would against the process's current folder.
  std::string current_folder;

  // Reg1 lives from start-up to the end; Reg2, the name lists and the file
  // facts cache live for one scan.
  platform::RegistryReader reg1;
  std::unique_ptr<platform::RegistryReader> reg2;
  std::vector<std::string> key_list;
  std::vector<std::string> key_list2;
  std::vector<std::string> key_list3;
  std::string reg_file;     // RegFile of the latest CLSID lookup
  std::string reg_company;  // RegCompany of the latest CLSID lookup
  std::shared_ptr<FileFactsCache> file_facts;

  void SetCaption(const std::string& text) const {
    if (progress.caption) progress.caption(text);
  }
  void SetStatus(const std::string& text) const {
    if (progress.status) progress.status(text);
  }
};

}  // namespace tarnscan
