// Scoped owners of the Windows handles the program uses. Each releases its handle when its scope
// ends; none can be copied (moving hands the handle over).
#pragma once

#include <windows.h>

#include <objbase.h>
#include <ole2.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace ostrel {

// A kernel object handle (a file...), closed when its scope ends. INVALID_HANDLE_VALUE and null
// both mean "none".
class UniqueHandle {
  public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = other.Release();
        }
        return *this;
    }
    ~UniqueHandle() { Close(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    explicit operator bool() const noexcept {
        return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE;
    }
    HANDLE Get() const noexcept { return handle_; }
    // Gives the handle up without closing it.
    HANDLE Release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    // Closes now; false when closing failed (a late write error may show here; GetLastError).
    bool Close() noexcept {
        if (!*this) return true;
        return CloseHandle(Release()) != FALSE;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// How many random names TemporaryFile tries before it gives up (both platforms).
inline constexpr int kTemporaryNameAttempts = 100;

// A new file, open for writing only through this object, removed (closed and deleted) when its
// scope ends unless the caller keeps it. The same verbs on both platforms (base/posix_handles.h).
class TemporaryFile {
  public:
    TemporaryFile() noexcept = default;
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file `prefix`, 16 random hexadecimal digits and `suffix` in `folder` (named
    // without a trailing separator): its name does not grow with any other name. Gives
    // ERROR_SUCCESS or the system's error code.
    DWORD Create(const std::wstring& folder, std::wstring_view prefix, std::wstring_view suffix);
    // The open file; valid after a successful Create, until Close.
    HANDLE Handle() const noexcept { return file_.Get(); }
    const std::wstring& Path() const noexcept { return path_; }
    // Closes the file, which stays until the scope ends; ERROR_SUCCESS or the system's error code.
    DWORD Close() noexcept { return file_.Close() ? ERROR_SUCCESS : GetLastError(); }
    // From now on the file is the caller's: it has been moved into place, or must be kept.
    void Keep() noexcept { path_.clear(); }

  private:
    UniqueHandle file_;
    std::wstring path_;  // empty while there is no file to remove
};

// Memory from CoTaskMemAlloc (a text the shell gives back...), freed when its scope ends.
template <typename T>
class TaskMemory {
  public:
    TaskMemory() noexcept = default;
    ~TaskMemory() { CoTaskMemFree(pointer_); }
    TaskMemory(const TaskMemory&) = delete;
    TaskMemory& operator=(const TaskMemory&) = delete;

    T* Get() const noexcept { return pointer_; }
    // The address for an out-parameter. Trap: frees what the object held first.
    T** Put() noexcept {
        CoTaskMemFree(std::exchange(pointer_, nullptr));
        return &pointer_;
    }

  private:
    T* pointer_ = nullptr;
};

// OLE (and so COM, single-threaded) on the current thread for the length of a scope.
// Trap: must be created and destroyed on the same thread.
class OleInitialization {
  public:
    OleInitialization() noexcept : result_(OleInitialize(nullptr)) {}
    ~OleInitialization() {
        if (SUCCEEDED(result_)) OleUninitialize();
    }
    OleInitialization(const OleInitialization&) = delete;
    OleInitialization& operator=(const OleInitialization&) = delete;

    // OleInitialize's result: a failure code when OLE is not ready on this thread.
    HRESULT Result() const noexcept { return result_; }

  private:
    HRESULT result_;
};

// A reference to a COM object, released when its scope ends.
template <typename Interface>
class ComPtr {
  public:
    ComPtr() noexcept = default;
    // Takes over a reference the caller owns (no AddRef).
    explicit ComPtr(Interface* owned) noexcept : pointer_(owned) {}
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    // Takes over the reference of a pointer to a derived interface (an element as a node).
    template <typename Derived,
              typename = std::enable_if_t<std::is_convertible_v<Derived*, Interface*>>>
    ComPtr(ComPtr<Derived>&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.pointer_, nullptr));
        return *this;
    }
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    // A new reference to the same object (AddRef): sharing is always spelled out.
    ComPtr Share() const noexcept {
        if (pointer_ != nullptr) pointer_->AddRef();
        return ComPtr(pointer_);
    }

    explicit operator bool() const noexcept { return pointer_ != nullptr; }
    Interface* Get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    // The address for an out-parameter. Trap: releases what the object held first.
    Interface** Put() noexcept {
        Reset();
        return &pointer_;
    }
    // Put() for calls that take a void** (QueryInterface, CoCreateInstance).
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }
    // Releases the reference (or takes over `owned` in its place).
    void Reset(Interface* owned = nullptr) noexcept {
        if (Interface* old = std::exchange(pointer_, owned)) old->Release();
    }

  private:
    template <typename>
    friend class ComPtr;

    Interface* pointer_ = nullptr;
};

}  // namespace ostrel
