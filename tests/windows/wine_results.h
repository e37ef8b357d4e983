// What scripts/test-windows.sh leaves behind for the Linux side of the
// Wine tests: the folder named by TARNSCAN_WINE_RESULTS. Without it (an
// ordinary test run, no Wine) the tests skip.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/offline/host_files.h"
#include "platform/text.h"
#include "support/files.h"

namespace tarnscan::testing {

inline std::filesystem::path WineResults() {
  const char* dir = std::getenv("TARNSCAN_WINE_RESULTS");
  return dir != nullptr ? std::filesystem::path(dir) : std::filesystem::path();
}

#define SKIP_WITHOUT_WINE_RESULTS()                                        \
  if (::tarnscan::testing::WineResults().empty()) {                        \
    GTEST_SKIP() << "no Wine results: scripts/test-windows.sh runs these"; \
  }

// The file's bytes; empty (and a failure) when the script left no such file.
inline std::string ResultFile(const std::string& name) {
  const auto path = WineResults() / name;
  std::error_code error;
  if (!std::filesystem::exists(path, error)) {
    ADD_FAILURE() << "the Wine run left no " << path;
    return {};
  }
  return platform::ReadHostFile(path.string());
}

// Lines without their ends (LF, CR LF, or the CR of a Windows program's
// text-mode output); no empty line for a final line end.
inline std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  for (auto piece : platform::Split(text, '\n')) {
    if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
    lines.emplace_back(piece);
  }
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

inline std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

inline void ExpectSameReport(const std::string& live_bytes, const std::string& offline_bytes) {
  const auto live = ReportLines(live_bytes);
  const auto offline = ReportLines(offline_bytes);
  ASSERT_FALSE(live.empty());
  EXPECT_EQ(live.size(), offline.size());
  int mismatches = 0;
  for (size_t i = 0; i < std::min(live.size(), offline.size()) && mismatches < 20; ++i) {
    bool same = live[i] == offline[i];
    for (std::string_view kind : {"Logfile created on: ", "Tarnscan v1.5.0\tFolder = "}) {
      if (platform::StartsWith(live[i], kind) && platform::StartsWith(offline[i], kind))
        same = true;
    }
    if (!same) {
      ++mismatches;
      ADD_FAILURE() << "report line " << i + 1 << "\n  live:    " << live[i]
                    << "\n  offline: " << offline[i];
    }
  }
}

inline bool HasLineContaining(const std::vector<std::string>& lines, std::string_view part) {
  for (const auto& line : lines) {
    if (line.find(part) != std::string::npos) return true;
  }
  return false;
}

}  // namespace tarnscan::testing
