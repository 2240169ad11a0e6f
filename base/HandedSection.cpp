#include "base/HandedSection.h"

#include <winternl.h>

#include <cstring>

namespace {

bool IsSection(HANDLE handle) {
    // The object's type, by the name every Windows and Wine gives it.
    union {
        PUBLIC_OBJECT_TYPE_INFORMATION Info;
        char Bytes[sizeof(PUBLIC_OBJECT_TYPE_INFORMATION) + 256 * sizeof(wchar_t)];
    } type;
    ULONG length = 0;
    if (::NtQueryObject(handle, ObjectTypeInformation, &type, sizeof type, &length) < 0)
        return false;
    constexpr wchar_t kSection[] = L"Section";
    const UNICODE_STRING& name = type.Info.TypeName;
    return name.Buffer && name.Length == sizeof kSection - sizeof(wchar_t) &&
           std::memcmp(name.Buffer, kSection, name.Length) == 0;
}

}  // namespace

UniqueHandle TakeSection(HANDLE process, uint64_t value) {
    HANDLE taken = nullptr;
    const auto handle = static_cast<uintptr_t>(value);
    if (handle != value || !::DuplicateHandle(process, reinterpret_cast<HANDLE>(handle), ::GetCurrentProcess(), &taken,
                                              SECTION_MAP_READ | SECTION_QUERY, FALSE, DUPLICATE_CLOSE_SOURCE))
        return {};
    UniqueHandle owned(taken);
    return IsSection(owned.Get()) ? std::move(owned) : UniqueHandle();
}
