#include <windows.h>

#include "app/Resident.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return RunResident();
}
