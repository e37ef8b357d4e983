// The Windows headers in the order they need, and owners for the handles
// the live backends take from Windows, so that every path out of a
// function (errors included) closes what it opened.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h comes first: the other Windows headers build on it.
// clang-format off
#include <windows.h>
#include <objbase.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

#include <string>
#include <utility>

namespace tarnscan::platform::win32 {

template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() : handle_(Traits::Invalid()) {}
  explicit UniqueHandle(Type handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.Release();
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  bool Valid() const { return handle_ != Traits::Invalid(); }
  Type Get() const { return handle_; }
  Type Release() { return std::exchange(handle_, Traits::Invalid()); }
  void Reset() {
    if (Valid()) Traits::Close(handle_);
    handle_ = Traits::Invalid();
  }

 private:
  Type handle_;
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { CloseHandle(handle); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type handle) { FindClose(handle); }
};

struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type key) { RegCloseKey(key); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKeyHandle = UniqueHandle<RegKeyTraits>;

// A COM interface pointer that releases its reference.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  T* Get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For the creating call: releases what is held, then hands out the slot.
  void** Out() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }
  void Reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  T* pointer_ = nullptr;
};

// The shell-link object and SHGetFileInfoA want COM on the calling thread.
// The scan calls them from whichever thread runs it, so each thread joins
// an apartment the first time it needs one and leaves it when it ends.
void EnsureComApartment();

// The text Windows gives for an error code, without the trailing line end
// and full stop, as Delphi's SysErrorMessage shows it.
std::string SystemMessage(DWORD error);

}  // namespace tarnscan::platform::win32
