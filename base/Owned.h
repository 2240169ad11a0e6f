// Move-only owners for every Win32 resource the program acquires, so that every way out of a
// function (errors and exceptions included) releases what it took.
#pragma once

#include <windows.h>

#include <utility>

template <typename Traits>
class Unique {
public:
    using Type = typename Traits::Type;

    Unique() noexcept = default;
    explicit Unique(Type value) noexcept : value_(value) {}
    Unique(Unique&& other) noexcept : value_(other.Release()) {}
    Unique& operator=(Unique&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { Reset(); }

    Type Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return Traits::IsValid(value_); }

    Type Release() noexcept { return std::exchange(value_, Traits::Empty()); }
    void Reset(Type value = Traits::Empty()) noexcept {
        if (Traits::IsValid(value_))
            Traits::Close(value_);
        value_ = value;
    }

private:
    Type value_ = Traits::Empty();
};

template <typename T, auto CloseFn>
struct NullIsEmpty {
    using Type = T;
    static constexpr Type Empty() noexcept { return nullptr; }
    static bool IsValid(Type value) noexcept { return value != nullptr; }
    static void Close(Type value) noexcept { CloseFn(value); }
};

// CreateFile reports failure as INVALID_HANDLE_VALUE, most other calls as null: both are empty.
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Empty() noexcept { return nullptr; }
    static bool IsValid(Type value) noexcept { return value != nullptr && value != INVALID_HANDLE_VALUE; }
    static void Close(Type value) noexcept { ::CloseHandle(value); }
};

struct FindHandleTraits : KernelHandleTraits {
    static void Close(Type value) noexcept { ::FindClose(value); }
};

using UniqueHandle = Unique<KernelHandleTraits>;
using UniqueFind = Unique<FindHandleTraits>;
using UniqueModule = Unique<NullIsEmpty<HMODULE, ::FreeLibrary>>;
using UniqueKey = Unique<NullIsEmpty<HKEY, ::RegCloseKey>>;
using UniqueView = Unique<NullIsEmpty<const void*, ::UnmapViewOfFile>>;
using UniqueWritableView = Unique<NullIsEmpty<void*, ::UnmapViewOfFile>>;
using UniqueMenu = Unique<NullIsEmpty<HMENU, ::DestroyMenu>>;
using UniqueLocal = Unique<NullIsEmpty<HLOCAL, ::LocalFree>>;
using UniqueFont = Unique<NullIsEmpty<HFONT, ::DeleteObject>>;
using UniqueIcon = Unique<NullIsEmpty<HICON, ::DestroyIcon>>;

// A local-memory block kept locked for the owner's whole life: unlocked, then freed.
class LockedLocal {
public:
    LockedLocal() noexcept = default;
    explicit LockedLocal(HLOCAL block) noexcept : block_(block), data_(block ? ::LocalLock(block) : nullptr) {}
    LockedLocal(LockedLocal&& other) noexcept
        : block_(std::move(other.block_)), data_(std::exchange(other.data_, nullptr)) {}
    LockedLocal& operator=(LockedLocal&& other) noexcept {
        Reset();
        block_ = std::move(other.block_);
        data_ = std::exchange(other.data_, nullptr);
        return *this;
    }
    ~LockedLocal() { Reset(); }

    void* Data() const noexcept { return data_; }
    HLOCAL Handle() const noexcept { return block_.Get(); }

    void Reset() noexcept {
        if (data_)
            ::LocalUnlock(block_.Get());
        data_ = nullptr;
        block_.Reset();
    }

private:
    UniqueLocal block_;
    void* data_ = nullptr;
};

// Ownership of a mutex, waited for at most a given time; released when the owner goes. A wait that
// ends because the previous owner died still gives ownership (WAIT_ABANDONED).
class MutexLock {
public:
    MutexLock(HANDLE mutex, DWORD timeoutMs) noexcept {
        const DWORD result = ::WaitForSingleObject(mutex, timeoutMs);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED)
            mutex_ = mutex;
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    ~MutexLock() {
        if (mutex_)
            ::ReleaseMutex(mutex_);
    }

    explicit operator bool() const noexcept { return mutex_ != nullptr; }

private:
    HANDLE mutex_ = nullptr;
};

// A slim lock held exclusively for the guard's life; taking such a lock cannot fail.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) noexcept : lock_(lock) { ::AcquireSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    ~ExclusiveLock() { ::ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};

// A global-memory block locked for the guard's life; the block itself stays with its owner.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block) noexcept
        : block_(block), data_(block ? ::GlobalLock(block) : nullptr), size_(data_ ? ::GlobalSize(block) : 0) {}
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    ~GlobalLockGuard() {
        if (data_)
            ::GlobalUnlock(block_);
    }

    const void* Data() const noexcept { return data_; }
    size_t Size() const noexcept { return size_; }

private:
    HGLOBAL block_;
    void* data_;
    size_t size_;
};

// A window's device context from GetDC, released to the same window.
class WindowDC {
public:
    explicit WindowDC(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_)
            ::ReleaseDC(window_, dc_);
    }
    HDC Get() const noexcept { return dc_; }

private:
    HWND window_;
    HDC dc_;
};
