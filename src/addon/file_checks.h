// The FILE line of an AddOn: files of a folder (and of the folders below
// it) found by name mask, age, exact size and MD5 digest.
#pragma once

#include <cstdint>
#include <string>

#include "main/scan_context.h"

namespace tarnscan {

// The values of one FILE line; they start empty, 0 and false.
struct FileCheck {
  std::string folder;  // after path-macro expansion
  std::string mask;    // with the wildcards * and ?
  std::string digest;  // as written in the AddOn; empty: no digest test
  std::string option;  // as written; "SUBFOLDERS" in any case hides the not-found line
  int32_t days = 0;    // above 0: only files written less than that many days ago
  int32_t size = 0;    // above 0: only files of exactly that many bytes
  bool subfolders = false;
};

// Appends a line per matching file with its company, then the matches of
// the folders below (depth-first) when `check.subfolders` is set, then
// "  File ... was not found!" when the folder itself held no match and the
// option is not "SUBFOLDERS". A file that cannot be examined (locked,
// unreadable) is skipped; nothing here throws for one file.
void CheckFiles(ScanContext& context, const FileCheck& check);

}  // namespace tarnscan
