// A SOFTWARE hive of real size for the benchmarks: 100,000 CLSIDs, each
// with a description, an InprocServer32 key, its default value and
// threading model (about 55 MB, written by the project's hive writer), and
// optionally the hook keys a scan reads, as a well-used PC fills them,
// naming those classes.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/offline/hive_writer.h"
#include "platform/registry.h"

namespace tarnscan::bench {

using platform::HiveWriter;

constexpr int kClsidCount = 100000;

inline std::string Guid(int i) {
  char text[64];
  const auto n = static_cast<uint64_t>(i);
  std::snprintf(text, sizeof text, "{%08llX-%04X-11D0-A1B2-%012llX}",
                static_cast<unsigned long long>((0x3C374A40u + n * 7919u) & 0xFFFFFFFFu),
                static_cast<unsigned>(i % 0xFFFF), static_cast<unsigned long long>(n * 104729u));
  return text;
}

inline std::u16string Wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

inline std::string Sz(const std::string& text) { return platform::RegSzData(Wide(text)); }

inline std::string Library(int i) {
  return "%SystemRoot%\\system32\\components\\library" + std::to_string(i) + ".dll";
}

// Creates every key of a backslash-separated path below `key`.
inline HiveWriter::KeyId AddPath(HiveWriter& writer, HiveWriter::KeyId key,
                                 const std::string& path) {
  const std::vector<std::string_view> names = platform::SplitKeyPath(path).value();
  for (const auto name : names) key = writer.AddKey(key, Wide(std::string(name)));
  return key;
}

// Hands out the classes one after another to the hook lists.
class ClassDealer {
 public:
  int Next() { return next_++ % kClsidCount; }
  std::string NextGuid() { return Guid(Next()); }

 private:
  int next_ = 0;
};

inline void AddClasses(HiveWriter& writer) {
  auto clsid = AddPath(writer, writer.Root(), "Classes\\CLSID");
  for (int i = 0; i < kClsidCount; ++i) {
    auto key = writer.AddKey(clsid, Wide(Guid(i)));
    writer.SetValue(key, u"", platform::kRegSz, Sz("Component object number " + std::to_string(i)));
    auto server = writer.AddKey(key, u"InprocServer32");
    writer.SetValue(server, u"", platform::kRegExpandSz, Sz(Library(i)));
    writer.SetValue(server, u"ThreadingModel", platform::kRegSz, Sz("Apartment"));
  }
}

// How a hook list names its classes.
enum class Entry {
  kValueNamedByClass,  // "{guid}"="description"
  kValueHoldingClass,  // "name"="{guid}"
  kKeyNamedByClass,    // [list\{guid}]
  kKeyHoldingClass,    // [list\name] @="{guid}"
};

struct HookList {
  const char* path;
  int count;
  Entry entry;
};

inline constexpr HookList kHookLists[] = {
    {"Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", 1500,
     Entry::kValueNamedByClass},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks", 8,
     Entry::kValueNamedByClass},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\SharedTaskScheduler", 8,
     Entry::kValueNamedByClass},
    {"Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad", 12,
     Entry::kValueHoldingClass},
    {"Microsoft\\Internet Explorer\\Toolbar", 12, Entry::kValueNamedByClass},
    {"Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects", 25,
     Entry::kKeyNamedByClass},
    {"Microsoft\\Internet Explorer\\Explorer Bars", 10, Entry::kKeyNamedByClass},
    {"Classes\\*\\shellex\\ContextMenuHandlers", 120, Entry::kKeyHoldingClass},
    {"Classes\\AllFilesystemObjects\\shellex\\ContextMenuHandlers", 40, Entry::kKeyHoldingClass},
    {"Classes\\Directory\\shellex\\ContextMenuHandlers", 60, Entry::kKeyHoldingClass},
    {"Classes\\Directory\\BackGround\\shellex\\ContextMenuHandlers", 30, Entry::kKeyHoldingClass},
    {"Classes\\Folder\\shellex\\ContextMenuHandlers", 40, Entry::kKeyHoldingClass},
    {"Classes\\Folder\\shellex\\ColumnHandlers", 12, Entry::kKeyNamedByClass},
};

inline void AddHookLists(HiveWriter& writer, ClassDealer& dealer) {
  for (const auto& list : kHookLists) {
    auto key = AddPath(writer, writer.Root(), list.path);
    for (int i = 0; i < list.count; ++i) {
      const std::string guid = dealer.NextGuid();
      const std::string number = std::to_string(i);
      switch (list.entry) {
        case Entry::kValueNamedByClass:
          writer.SetValue(key, Wide(guid), platform::kRegSz, Sz("Extension " + number));
          break;
        case Entry::kValueHoldingClass:
          writer.SetValue(key, Wide("Object" + number), platform::kRegSz, Sz(guid));
          break;
        case Entry::kKeyNamedByClass:
          writer.AddKey(key, Wide(guid));
          break;
        case Entry::kKeyHoldingClass:
          writer.SetValue(writer.AddKey(key, Wide("Handler" + number)), u"", platform::kRegSz,
                          Sz(guid));
          break;
      }
    }
  }
}

inline void AddProtocolsAndExtensions(HiveWriter& writer, ClassDealer& dealer) {
  for (const char* kind : {"Handler", "Filter"}) {
    auto list = AddPath(writer, writer.Root(), std::string("Classes\\PROTOCOLS\\") + kind);
    for (int i = 0; i < 40; ++i) {
      auto protocol = writer.AddKey(list, Wide("proto" + std::to_string(i)));
      writer.SetValue(protocol, u"CLSID", platform::kRegSz, Sz(dealer.NextGuid()));
    }
  }
  auto extensions = AddPath(writer, writer.Root(), "Microsoft\\Internet Explorer\\Extensions");
  for (int i = 0; i < 15; ++i) {
    auto button = writer.AddKey(extensions, Wide(dealer.NextGuid()));
    writer.SetValue(button, u"ButtonText", platform::kRegSz, Sz("Button " + std::to_string(i)));
    writer.SetValue(button, u"Exec", platform::kRegSz,
                    Sz("C:\\Program Files\\Tools\\tool" + std::to_string(i) + ".exe"));
  }
}

inline void AddStartupAndHooks(HiveWriter& writer) {
  auto run = AddPath(writer, writer.Root(), "Microsoft\\Windows\\CurrentVersion\\Run");
  for (int i = 0; i < 40; ++i) {
    writer.SetValue(run, Wide("Program" + std::to_string(i)), platform::kRegSz,
                    Sz("\"C:\\Program Files\\Vendor" + std::to_string(i) + "\\agent.exe\" /tray"));
  }
  auto notify =
      AddPath(writer, writer.Root(), "Microsoft\\Windows NT\\CurrentVersion\\Winlogon\\Notify");
  for (int i = 0; i < 20; ++i) {
    auto package = writer.AddKey(notify, Wide("package" + std::to_string(i)));
    writer.SetValue(package, u"DLLName", platform::kRegSz,
                    Sz("notify" + std::to_string(i) + ".dll"));
  }
  auto ifeo = AddPath(writer, writer.Root(),
                      "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options");
  for (int i = 0; i < 300; ++i) {
    auto program = writer.AddKey(ifeo, Wide("program" + std::to_string(i) + ".exe"));
    if (i % 50 == 0) writer.SetValue(program, u"Debugger", platform::kRegSz, Sz("ntsd -d"));
  }
}

// Writes the hive to `path` from a child process, so the peak memory of
// the measuring process is the reader's, not the writer's. Returns its size.
inline uintmax_t WriteSoftwareHive(const std::string& path, bool with_hook_keys) {
  const pid_t child = fork();
  if (child == 0) {
    HiveWriter writer;
    AddClasses(writer);
    if (with_hook_keys) {
      ClassDealer dealer;
      AddHookLists(writer, dealer);
      AddProtocolsAndExtensions(writer, dealer);
      AddStartupAndHooks(writer);
    }
    const std::string bytes = writer.Build();
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return std::filesystem::file_size(path);
}

inline double PeakMemoryMiB() {
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace tarnscan::bench
