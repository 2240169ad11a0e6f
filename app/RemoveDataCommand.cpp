#include "app/RemoveDataCommand.h"

#include <windows.h>

#include "app/Identifiers.h"
#include "app/Resident.h"
#include "base/WideText.h"
#include "jobs/DataRemoval.h"

bool IsRemoveDataCommand(const std::vector<std::wstring>& arguments) {
    return arguments.size() == 2 && ::lstrcmpiW(arguments[1].c_str(), WideFromUtf8(SWITCH_REMOVEDATA).c_str()) == 0;
}

int RunRemoveData() {
    UniqueHandle instance;
    if (!TakeInstance(instance))
        return kDataInUse;
    const int result = RemoveUserData() ? kDataRemoved : kDataLeft;
    ::ReleaseMutex(instance.Get());
    return result;
}
