#include "platform/win32/file_system_win32.h"

#include <algorithm>

#include "platform/win32/handles.h"

namespace tarnscan::platform {
namespace {

using win32::FileHandle;
using win32::FindHandle;
using win32::SystemMessage;

// A folder of a hostile system may hold any number of entries; this bound
// only keeps a looping file system from running the scan out of memory.
constexpr size_t kMaxListing = 4'000'000;
// ReadFile takes a 32-bit count.
constexpr size_t kMaxReadPiece = 1u << 30;

FileTime ToFileTime(const FILETIME& time) {
  return static_cast<FileTime>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                               time.dwLowDateTime);
}

FileEntry ToEntry(const WIN32_FIND_DATAA& data) {
  FileEntry entry;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  entry.last_write = ToFileTime(data.ftLastWriteTime);
  return entry;
}

bool IsDotEntry(const char* name) {
  return (name[0] == '.' && name[1] == '\0') ||
         (name[0] == '.' && name[1] == '.' && name[2] == '\0');
}

bool HasWildcards(std::string_view path) {
  return path.find_first_of("*?") != std::string_view::npos;
}

// "C:", "C:\", "\\server\share" and the like: FindFirstFileA finds no
// entry for them, though they are folders.
bool IsRootPath(std::string_view path) {
  if (path.size() == 2 && path[1] == ':') return true;
  if (path.size() == 3 && path[1] == ':' && path[2] == '\\') return true;
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    const size_t server_end = path.find('\\', 2);
    return server_end != std::string_view::npos &&
           path.find('\\', server_end + 1) == std::string_view::npos;
  }
  return false;
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(FileHandle handle, uint64_t size) : handle_(std::move(handle)), size_(size) {}

  uint64_t Size() const override { return size_; }

  size_t ReadAt(uint64_t offset, void* out, size_t count) const override {
    size_t done = 0;
    auto* bytes = static_cast<char*>(out);
    while (done < count) {
      const DWORD piece = static_cast<DWORD>(std::min(count - done, kMaxReadPiece));
      OVERLAPPED where{};
      const uint64_t at = offset + done;
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD got = 0;
      if (!ReadFile(handle_.Get(), bytes + done, piece, &got, &where) || got == 0) break;
      done += got;
    }
    return done;
  }

  size_t Read(void* out, size_t count) override {
    const size_t got = ReadAt(position_, out, count);
    position_ += got;
    return got;
  }

 private:
  FileHandle handle_;
  uint64_t size_;
  uint64_t position_ = 0;
};

std::string CannotOpen(std::string_view path, DWORD error) {
  return "Cannot open file \"" + std::string(path) + "\". " + SystemMessage(error);
}

}  // namespace

std::vector<FileEntry> Win32FileSystem::List(std::string_view folder, std::string_view mask) const {
  std::string pattern(folder);
  if (!pattern.empty() && pattern.back() != '\\') pattern += '\\';
  pattern += mask;
  std::vector<FileEntry> entries;
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA(pattern.c_str(), &data));
  if (!find.Valid()) return entries;
  do {
    if (!IsDotEntry(data.cFileName)) entries.push_back(ToEntry(data));
  } while (entries.size() < kMaxListing && FindNextFileA(find.Get(), &data));
  return entries;
}

std::optional<FileEntry> Win32FileSystem::Stat(std::string_view path_view) const {
  if (path_view.empty() || HasWildcards(path_view)) return std::nullopt;
  std::string path(path_view);
  while (path.size() > 1 && path.back() == '\\' && !IsRootPath(path)) path.pop_back();
  if (IsRootPath(path)) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    FileEntry entry;
    entry.name = path;
    entry.attributes = data.dwFileAttributes;
    entry.last_write = ToFileTime(data.ftLastWriteTime);
    return entry;
  }
  WIN32_FIND_DATAA data;
  FindHandle find(FindFirstFileA(path.c_str(), &data));
  if (!find.Valid()) return std::nullopt;
  return ToEntry(data);
}

std::unique_ptr<InputFile> Win32FileSystem::OpenExclusive(std::string_view path_view) const {
  const std::string path(path_view);
  FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.Valid()) throw FileError(CannotOpen(path, GetLastError()));
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(handle.Get(), &size)) throw FileError(CannotOpen(path, GetLastError()));
  return std::make_unique<Win32InputFile>(std::move(handle), static_cast<uint64_t>(size.QuadPart));
}

std::string ReadWholeFile(const std::string& path) {
  FileHandle handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.Valid()) {
    const DWORD error = GetLastError();
    throw FileError(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                        ? "File not found"
                        : SystemMessage(error));
  }
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(handle.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

void SaveFileAtomically(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".new";
  auto fail = [&](DWORD error) {
    throw FileError("Cannot create file \"" + path + "\". " + SystemMessage(error));
  };
  {
    FileHandle handle(CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.Valid()) fail(GetLastError());
    size_t done = 0;
    while (done < bytes.size()) {
      const DWORD piece = static_cast<DWORD>(std::min(bytes.size() - done, kMaxReadPiece));
      DWORD written = 0;
      if (!WriteFile(handle.Get(), bytes.data() + done, piece, &written, nullptr) || written == 0) {
        const DWORD error = GetLastError();
        handle.Reset();
        DeleteFileA(temporary.c_str());
        fail(error);
      }
      done += written;
    }
  }
  if (!MoveFileExA(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    DeleteFileA(temporary.c_str());
    fail(error);
  }
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  if (length == 0 || length >= sizeof buffer) return path;
  return std::string(buffer, length);
}

std::string ProgramFolder() {
  char buffer[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  std::string path(buffer, std::min<DWORD>(length, sizeof buffer));
  const size_t cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace tarnscan::platform
