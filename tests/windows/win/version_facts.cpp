// test-version-facts FOLDER: one line of version facts (version_facts_row.h)
// for every executable file of FOLDER, read through the live backend
// (GetFileVersionInfoA / VerQueryValueA), in name order.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <iostream>

#include "platform/text.h"
#include "platform/win32/file_facts_win32.h"
#include "platform/win32/file_system_win32.h"
#include "windows/version_facts_row.h"

using namespace tarnscan;

int main(int argc, char** argv) {
  // The bytes as they are: no CR added before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 2) {
    std::cerr << "usage: test-version-facts FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  platform::Win32FileSystem files;
  platform::Win32FileFacts facts;
  auto entries = files.List(folder, "*");
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    return platform::CompareIgnoreCase(a.name, b.name) < 0;
  });
  size_t rows = 0;
  for (const auto& entry : entries) {
    if (entry.IsDirectory()) continue;
    const std::string path = folder + "\\" + entry.name;
    std::string magic;
    try {
      if (!files.OpenExclusive(path)->ReadExact(0, 2, magic) || magic != "MZ") continue;
    } catch (const std::exception&) {
      continue;
    }
    std::cout << testing::VersionFactsRow(facts, entry.name, path) << '\n';
    ++rows;
  }
  std::cerr << rows << " executable files\n";
  return rows > 0 ? 0 : 1;
}
