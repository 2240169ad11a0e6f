// "Kelvane.exe /RemoveData": the uninstaller's request that the program remove what it keeps for the
// user on the disk, by the program's own rule (jobs/DataRemoval.h), and end. No window: it runs only
// while no other program of the user's runs, and holds the instance meanwhile.
#pragma once

#include <string>
#include <vector>

// Exit codes: 0 nothing left, 1 something stays, 2 a program runs (nothing was touched).
constexpr int kDataRemoved = 0;
constexpr int kDataLeft = 1;
constexpr int kDataInUse = 2;

bool IsRemoveDataCommand(const std::vector<std::wstring>& arguments);
int RunRemoveData();
