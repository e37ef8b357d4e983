#include "main/file_list.h"

#include <algorithm>

#include "platform/text.h"

namespace tarnscan {

std::vector<platform::FileEntry> ListFolderFiles(ScanContext& context, const std::string& folder) {
  std::vector<platform::FileEntry> listed;
  if (folder.empty() || !context.system.files->FolderExists(folder)) return listed;
  for (auto& entry : context.system.files->List(folder, "*.*")) {
    if (!entry.IsDirectory()) listed.push_back(std::move(entry));
  }
  std::stable_sort(listed.begin(), listed.end(),
                   [](const platform::FileEntry& a, const platform::FileEntry& b) {
                     return platform::CompareLocaleText(a.name, b.name) < 0;
                   });
  context.current_folder = folder;
  return listed;
}

std::string WithBackslash(std::string_view folder) {
  std::string text(folder);
  if (text.empty() || text.back() != '\\') text += '\\';
  return text;
}

}  // namespace tarnscan
