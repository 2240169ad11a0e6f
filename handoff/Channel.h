// The names both deliverables meet on, and the one block id senders use.
#pragma once

#include <windows.h>

#include <string>

// Class of the resident program's main window; compared byte for byte, letter case included.
inline constexpr char kReceiverClass[] = "Kelvane";
inline constexpr char kHandOffMessageName[] = "Kelvane";
// Posted by the drop handler while the shell shows its menu: the hosts should start now.
inline constexpr char kWarmUpMessageName[] = "Kelvane.WarmUp";
inline constexpr char kSectionPrefix[] = "Kelvane";
// Carried in wParam; the receiver names the section after it.
inline constexpr WPARAM kHandOffId = 255;

// "Kelvane" followed by the eight upper-case hexadecimal digits of `id`: "Kelvane000000FF" for 255.
std::string SectionName(WPARAM id);

// The system-wide number of the hand-off message, 0 when it cannot be registered.
UINT RegisterHandOffMessage() noexcept;
UINT RegisterWarmUpMessage() noexcept;
// The first top-level window of class kReceiverClass; null for none.
HWND FindReceiver() noexcept;
