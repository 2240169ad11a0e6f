// Starting at logon: the per-user "Run" value "Kelvane", naming the program's file. The installer
// writes it for the installed copy; the program writes or removes it only when the user asks.
#pragma once

#include <windows.h>

struct TMessage;

inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValue[] = "Kelvane";

// Whether Windows starts this very copy at logon.
bool StartsAtLogon();
// The menu command: on when off, off when on. Its check mark follows the value when a menu opens.
void ToggleStartAtLogon(HWND window, TMessage& message);
void ShowStartAtLogon(HMENU menu);
