#pragma once

#include <windows.h>

// GetProcAddress gives an untyped FARPROC; going through a generic function pointer keeps
// -Wcast-function-type quiet and the one cast in one place.
template <typename Function>
Function ProcAddress(HMODULE module, const char* name) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}
