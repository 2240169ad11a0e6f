#include "base/CommandLine.h"

#include <windows.h>

// The C runtime's own parse of the wide command line, by the rules every program's arguments follow.
// CommandLineToArgvW would do as well, but would load shell32, and with it user32, into every process
// that links this: under Wine that alone costs tens of milliseconds at each start.
extern "C" int __cdecl __wgetmainargs(int* count, wchar_t*** arguments, wchar_t*** environment, int wildcards,
                                      int* startInfo);

std::vector<std::wstring> WideArguments() {
    int count = 0;
    wchar_t** arguments = nullptr;
    wchar_t** environment = nullptr;
    int newMode = 0;
    if (__wgetmainargs(&count, &arguments, &environment, 0, &newMode) < 0 || !arguments)
        return {};
    return std::vector<std::wstring>(arguments, arguments + count);
}
