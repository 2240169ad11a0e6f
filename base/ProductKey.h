// Kelvane's own key under HKEY_CURRENT_USER: the resident program's settings, the plug-in folder the
// user chose, and the plug-ins the user switched off in Kelvane.
#pragma once

constexpr char kSettingsKey[] = "Software\\Ombrik\\Kelvane";
