#include "folders/pattern_scan.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "fileinfo/version_info.h"
#include "folders/file_line.h"
#include "platform/text.h"

namespace tarnscan {
namespace {

using platform::FileEntry;

constexpr size_t kBlockSize = 256 * 1024;
// How far the readers may run ahead of the report, in files.
constexpr size_t kReadAhead = 64;
// Walks deeper than this are cut: no real Windows tree is this deep, and a
// cycle the link test missed must still end.
constexpr int kMaxDepth = 128;

// What reading one file found; made without touching the report, so files
// can be read on other threads.
struct FileCheck {
  bool hosts = false;
  bool failed = false;          // the file could not be read
  std::vector<bool> found;      // per fragment, for an ordinary file
  std::vector<std::string> hosts_lines;  // each line once per fragment it holds
};

std::vector<bool> SearchFile(const ScanContext& context, const std::string& path) {
  auto file = context.system.files->OpenExclusive(path);
  auto stream = context.pattern_set->Open();
  std::string block(kBlockSize, '\0');
  while (!stream->AllFound()) {
    const size_t n = file->Read(block.data(), block.size());
    if (n == 0) break;
    stream->Feed(std::string_view(block.data(), n));
  }
  return stream->Found();
}

std::vector<std::string> MatchingHostsLines(const ScanContext& context, const std::string& path) {
  std::vector<std::string> shown;
  for (const auto& line : context.system.files->ReadLines(path)) {
    auto stream = context.pattern_set->Open();
    stream->Feed(line);
    for (bool found : stream->Found()) {
      if (found) shown.push_back(line);
    }
  }
  return shown;
}

FileCheck ReadFileForPatterns(const ScanContext& context, const std::string& path) {
  FileCheck check;
  check.hosts = IsHostsFile(path);
  try {
    if (check.hosts) {
      check.hosts_lines = MatchingHostsLines(context, path);
    } else {
      check.found = SearchFile(context, path);
    }
  } catch (const std::exception&) {
    check.failed = true;
  }
  return check;
}

// Appends what a check found; returns CheckFileForPatterns' result.
int WriteFileCheck(ScanContext& context, const std::string& path, const FileEntry& entry,
                   const FileCheck& check) {
  auto& log = context.log;
  if (check.hosts) {
    log.Add("");
    log.Add("Items found in " + path);
    if (check.failed) return -1;  // the closing empty line is never reached
    for (const auto& line : check.hosts_lines) log.Add(line);
    log.Add("");
    return -1;
  }
  int result = -1;
  std::string suffix;
  for (size_t i = 0; i < check.found.size(); ++i) {
    if (!check.found[i]) continue;
    // The company is looked up only for a file that gets a line.
    if (result < 0) suffix = FileWithCompany(*context.file_facts, path);
    result = 1;
    log.Add(EntryLine(context, context.patterns[i], entry, path) + suffix);
  }
  return result;
}

struct WorkItem {
  std::string path;
  FileEntry entry;
};

bool IsFolderToWalk(const FileEntry& entry) {
  return entry.IsDirectory() && (entry.attributes & platform::kAttrReparsePoint) == 0;
}

void CollectFiles(const ScanContext& context, const std::string& folder, std::string_view mask,
                  bool recurse, int depth, std::vector<WorkItem>& items) {
  const auto& files = *context.system.files;
  for (const auto& entry : files.List(folder, mask)) {
    if (entry.IsDirectory() || IsSwapFile(entry.name)) continue;
    items.push_back(WorkItem{folder + entry.name, entry});
  }
  if (!recurse || depth >= kMaxDepth) return;
  for (const auto& entry : files.List(folder, "*.*")) {
    if (IsFolderToWalk(entry)) {
      CollectFiles(context, folder + entry.name + "\\", mask, true, depth + 1, items);
    }
  }
}

void WriteItem(ScanContext& context, const WorkItem& item, const FileCheck& check) {
  context.SetStatus("Scanning file " + item.path);
  try {
    WriteFileCheck(context, item.path, item.entry, check);
  } catch (const std::exception&) {
    // An error with one file never stops the walk.
  }
}

unsigned ThreadCount(const ScanContext& context, size_t items) {
  unsigned threads = context.scan_threads;
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<size_t>(threads, items));
}

// Reads the files on worker threads, at most kReadAhead files ahead of the
// report, and writes each file's lines in walk order on this thread.
void CheckInOrder(ScanContext& context, const std::vector<WorkItem>& items) {
  const unsigned threads = ThreadCount(context, items.size());
  if (threads <= 1) {
    for (const auto& item : items) WriteItem(context, item, ReadFileForPatterns(context, item.path));
    return;
  }
  std::vector<FileCheck> checks(items.size());
  std::vector<char> done(items.size(), 0);
  std::mutex mutex;
  std::condition_variable changed;
  size_t next = 0;
  size_t written = 0;

  auto reader = [&] {
    std::unique_lock lock(mutex);
    while (true) {
      changed.wait(lock, [&] { return next >= items.size() || next < written + kReadAhead; });
      if (next >= items.size()) return;
      const size_t index = next++;
      lock.unlock();
      FileCheck check = ReadFileForPatterns(context, items[index].path);
      lock.lock();
      checks[index] = std::move(check);
      done[index] = 1;
      changed.notify_all();
    }
  };
  std::vector<std::thread> pool;
  for (unsigned i = 0; i < threads; ++i) pool.emplace_back(reader);
  for (size_t index = 0; index < items.size(); ++index) {
    FileCheck check;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return done[index] != 0; });
      check = std::move(checks[index]);
      written = index + 1;
    }
    changed.notify_all();
    WriteItem(context, items[index], check);
  }
  for (auto& thread : pool) thread.join();
}

}  // namespace

bool IsSwapFile(std::string_view name) {
  const std::string upper = platform::UpperCase(name);
  return upper == "WIN386.SWP" || upper == "PAGEFILE.SYS";
}

bool IsHostsFile(std::string_view path) { return platform::EndsWithIgnoreCase(path, "HOSTS"); }

int CheckFileForPatterns(ScanContext& context, std::string_view path_view) {
  const std::string path(path_view);
  if (IsHostsFile(path)) {
    context.log.Add("");
    context.log.Add("Items found in " + path);
    for (const auto& line : MatchingHostsLines(context, path)) context.log.Add(line);
    context.log.Add("");
    return -1;
  }
  const auto entry = context.system.files->Stat(path);
  if (!entry || entry->IsDirectory()) {
    throw platform::FileError("Cannot open file \"" + path + "\". File not found");
  }
  FileCheck check;
  check.found = SearchFile(context, path);
  return WriteFileCheck(context, path, *entry, check);
}

void ScanFolderForPatterns(ScanContext& context, std::string_view folder, std::string_view mask,
                           bool recurse) {
  std::vector<WorkItem> items;
  CollectFiles(context, WithBackslash(folder), mask, recurse, 0, items);
  CheckInOrder(context, items);
}

}  // namespace tarnscan
