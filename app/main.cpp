#include <windows.h>

#include <string>
#include <vector>

#include "app/RemoveDataCommand.h"
#include "app/Resident.h"
#include "base/CommandLine.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const std::vector<std::wstring> arguments = WideArguments();
    if (IsRemoveDataCommand(arguments))
        return RunRemoveData();
    // "Kelvane.exe PATH": an archive, or a place inside one, for the browser.
    return RunResident(arguments.size() == 2 ? arguments[1] : std::wstring());
}
