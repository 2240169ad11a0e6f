#include <windows.h>

#include "app/RemoveDataCommand.h"
#include "app/Resident.h"
#include "base/CommandLine.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (IsRemoveDataCommand(WideArguments()))
        return RunRemoveData();
    return RunResident();
}
