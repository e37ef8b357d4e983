#include "folders/file_line.h"

namespace tarnscan {
namespace {

void AppendPadded(std::string& line, std::string_view field, size_t width) {
  line += field;
  if (field.size() < width) line.append(width - field.size(), ' ');
}

}  // namespace

std::string FormatFileLine(std::string_view pattern, std::string_view date_text,
                           std::string_view attr_text, std::string_view size_text,
                           std::string_view path) {
  std::string line;
  AppendPadded(line, pattern, 21);
  AppendPadded(line, date_text, 23);
  line += ' ';
  line += attr_text;
  line += ' ';
  AppendPadded(line, size_text, 11);
  line += path;
  return line;
}

std::string AttributeText(uint32_t attributes) {
  std::string text;
  text += (attributes & platform::kAttrReadOnly) ? 'R' : ' ';
  text += (attributes & platform::kAttrHidden) ? 'H' : ' ';
  text += (attributes & platform::kAttrSystem) ? 'S' : ' ';
  return text;
}

std::string DateText(const ScanContext& context, platform::FileTime last_write) {
  const auto local = platform::TruncateToTwoSeconds(context.system.clock->ToLocal(last_write));
  return platform::FormatDateTime(local, context.system.date_format);
}

std::string EntryLine(const ScanContext& context, std::string_view pattern,
                      const platform::FileEntry& entry, std::string_view path) {
  return FormatFileLine(pattern, DateText(context, entry.last_write),
                        AttributeText(entry.attributes), std::to_string(entry.size), path);
}

}  // namespace tarnscan
