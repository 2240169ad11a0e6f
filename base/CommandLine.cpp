#include "base/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "base/Owned.h"

std::vector<std::wstring> WideArguments() {
    int count = 0;
    const UniqueLocal block(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (!block)
        return {};
    const auto* texts = static_cast<const LPWSTR*>(block.Get());
    return std::vector<std::wstring>(texts, texts + count);
}
