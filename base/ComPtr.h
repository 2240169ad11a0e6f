// Owners for COM references and storage mediums: one reference or one medium each, move-only.
#pragma once

#include <objbase.h>
#include <ole2.h>

#include <utility>

template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    // Takes over a reference the caller already holds.
    explicit ComPtr(T* held) noexcept : value_(held) {}
    ComPtr(ComPtr&& other) noexcept : value_(other.Detach()) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        Reset(other.Detach());
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }

    // Adds a reference of its own.
    static ComPtr Share(T* value) noexcept {
        if (value)
            value->AddRef();
        return ComPtr(value);
    }

    T* Get() const noexcept { return value_; }
    T* operator->() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != nullptr; }

    // For out-parameters: drops the current reference and lends the slot.
    T** Put() noexcept {
        Reset();
        return &value_;
    }
    void** PutVoid() noexcept { return reinterpret_cast<void**>(Put()); }

    T* Detach() noexcept { return std::exchange(value_, nullptr); }
    void Reset(T* held = nullptr) noexcept {
        if (T* old = std::exchange(value_, held))
            old->Release();
    }

private:
    T* value_ = nullptr;
};

// A medium returned by IDataObject::GetData; released once with ReleaseStgMedium.
class UniqueStgMedium {
public:
    UniqueStgMedium() noexcept = default;
    UniqueStgMedium(const UniqueStgMedium&) = delete;
    UniqueStgMedium& operator=(const UniqueStgMedium&) = delete;
    ~UniqueStgMedium() {
        if (filled_)
            ::ReleaseStgMedium(&medium_);
    }

    // Filled by GetData on success only.
    HRESULT Fetch(IDataObject* source, FORMATETC& format) noexcept {
        if (std::exchange(filled_, false))
            ::ReleaseStgMedium(&medium_);
        medium_ = {};
        const HRESULT result = source->GetData(&format, &medium_);
        filled_ = SUCCEEDED(result);
        return result;
    }
    const STGMEDIUM& Get() const noexcept { return medium_; }

private:
    STGMEDIUM medium_ = {};
    bool filled_ = false;
};
