// The sending half of the hand-off, for the drop handler.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

// Senders share one section name; they take turns under this mutex, each waiting a bounded time.
inline constexpr char kSenderMutexName[] = "KelvaneSX.HandOff";
inline constexpr DWORD kSenderWaitMs = 5000;

// Writes the block for `folder` and `paths` into the section and sends the hand-off message to the
// first top-level window of class "Kelvane", waiting until it has been handled. Every failure is
// silent: no window, no section, a section that already exists (another sender's), or another
// sender that does not finish in time.
void SendHandOff(std::string_view folder, const std::vector<std::string>& paths) noexcept;
