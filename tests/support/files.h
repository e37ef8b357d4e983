// Whole files and report lines, for the tests that look at what a scan or
// a script left on disk.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnscan::testing {

// The file's bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Creates the parent folders; throws when the file cannot be written.
void WriteFile(const std::string& path, std::string_view bytes);

// A file of the real Windows data the tests read in place.
std::string RealData(const std::string& relative);

// The lines of a report, each of which ended in CR LF; a last piece without
// its end still counts.
std::vector<std::string> ReportLines(const std::string& bytes);

}  // namespace tarnscan::testing
