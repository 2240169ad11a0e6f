// The sending half of the hand-off, for the drop handler.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

// Senders share one section name; they take turns under this mutex, each waiting a bounded time.
inline constexpr char kSenderMutexName[] = "KelvaneSX.HandOff";
inline constexpr DWORD kSenderWaitMs = 5000;
// The section must outlive the receiver's copy, which is made while it handles the message, so the
// sender waits for the answer. Extractions run off the window's thread, so it answers at once as a
// rule; held up for a while (its exit waiting for the running job, a queue file on a slow disk), its
// copy is still wanted. A window that stays silent for minutes is taken to be hung, and the sender
// lets go so that later hand-offs get their turn.
inline constexpr DWORD kAnswerWaitMs = 5 * 60 * 1000;
// Long enough for a sender that holds the turn while it waits for the answer.
inline constexpr DWORD kPatientTurnWaitMs = kAnswerWaitMs + kSenderWaitMs;

// Writes the block for `folder` and `paths` into the section and sends the hand-off message to the
// first top-level window of class "Kelvane", waiting until it has been handled or kAnswerWaitMs has
// passed. Every failure is silent: no window, no section, a section that already exists (another
// sender's), or another sender that does not finish within `turnWaitMs`. Wide names go in the
// Unicode form of the block, narrow ones in the ANSI form, as older senders wrote it.
void SendHandOff(std::string_view folder,
                 const std::vector<std::string>& paths,
                 DWORD turnWaitMs = kSenderWaitMs) noexcept;
void SendHandOff(std::wstring_view folder,
                 const std::vector<std::wstring>& paths,
                 DWORD turnWaitMs = kSenderWaitMs) noexcept;
