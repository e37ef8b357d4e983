#include "platform/win32/file_facts_win32.h"

#include <cstring>
#include <string>

#include "platform/win32/handles.h"

namespace tarnscan::platform {
namespace {

// A version resource is small; a claim beyond this is damage.
constexpr DWORD kMaxVersionBytes = 64u << 20;

class Win32VersionData final : public VersionData {
 public:
  explicit Win32VersionData(std::string data) : data_(std::move(data)) {}

  std::optional<FixedFileInfo> Fixed() const override {
    void* block = nullptr;
    UINT length = 0;
    if (!Query("\\", &block, &length) || length < sizeof(VS_FIXEDFILEINFO)) return std::nullopt;
    VS_FIXEDFILEINFO raw;
    std::memcpy(&raw, block, sizeof raw);
    FixedFileInfo fixed;
    fixed.signature = raw.dwSignature;
    fixed.struc_version = raw.dwStrucVersion;
    fixed.file_version_ms = raw.dwFileVersionMS;
    fixed.file_version_ls = raw.dwFileVersionLS;
    fixed.product_version_ms = raw.dwProductVersionMS;
    fixed.product_version_ls = raw.dwProductVersionLS;
    fixed.file_flags_mask = raw.dwFileFlagsMask;
    fixed.file_flags = raw.dwFileFlags;
    fixed.file_os = raw.dwFileOS;
    fixed.file_type = raw.dwFileType;
    fixed.file_subtype = raw.dwFileSubtype;
    fixed.file_date_ms = raw.dwFileDateMS;
    fixed.file_date_ls = raw.dwFileDateLS;
    return fixed;
  }

  std::optional<std::vector<uint32_t>> Translations() const override {
    void* block = nullptr;
    UINT length = 0;
    if (!Query("\\VarFileInfo\\Translation", &block, &length)) return std::nullopt;
    std::vector<uint32_t> entries(length / sizeof(uint32_t));
    if (!entries.empty()) std::memcpy(entries.data(), block, entries.size() * sizeof(uint32_t));
    return entries;
  }

  std::optional<std::string> String(std::string_view sub_block) const override {
    void* block = nullptr;
    UINT length = 0;
    if (!Query(std::string(sub_block), &block, &length)) return std::nullopt;
    if (block == nullptr || length == 0) return std::string();
    const char* text = static_cast<const char*>(block);
    // The length counts characters with the NUL; the text ends at its
    // first NUL all the same.
    const char* end = static_cast<const char*>(std::memchr(text, '\0', length));
    return std::string(text, end != nullptr ? static_cast<size_t>(end - text) : length);
  }

 private:
  // VerQueryValueA converts the strings of a Unicode resource into the
  // spare half of the buffer, so each query gets a copy of the data as
  // GetFileVersionInfoA left it.
  bool Query(const std::string& sub_block, void** block, UINT* length) const {
    copy_ = data_;
    return VerQueryValueA(copy_.data(), sub_block.c_str(), block, length) != 0 &&
           *block != nullptr && InCopy(*block, *length);
  }

  // What VerQueryValueA points at lies in the buffer; anything else is a
  // damaged resource that is not followed.
  bool InCopy(const void* block, UINT length) const {
    const char* begin = copy_.data();
    const char* end = begin + copy_.size();
    const char* at = static_cast<const char*>(block);
    return at >= begin && at <= end && length <= static_cast<size_t>(end - at);
  }

  std::string data_;
  mutable std::string copy_;
};

}  // namespace

std::unique_ptr<VersionData> Win32FileFacts::LoadVersion(std::string_view path_view) const {
  const std::string path(path_view);
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0 || size > kMaxVersionBytes) return nullptr;
  std::string data(size, '\0');
  if (!GetFileVersionInfoA(path.c_str(), handle, size, data.data())) return nullptr;
  return std::make_unique<Win32VersionData>(std::move(data));
}

std::optional<std::string> Win32FileFacts::ShellTypeName(std::string_view path_view) const {
  win32::EnsureComApartment();
  const std::string path(path_view);
  SHFILEINFOA info{};
  if (SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, SHGFI_TYPENAME) == 0) {
    return std::nullopt;
  }
  const size_t length = strnlen(info.szTypeName, sizeof info.szTypeName);
  return std::string(info.szTypeName, length);
}

}  // namespace tarnscan::platform
