// The shell entries that make the drop handler creatable and offered for drops onto folders.
#pragma once

// Writes the entries under HKEY_CLASSES_ROOT or, where that is refused (a standard user), under
// HKEY_CURRENT_USER\Software\Classes, in this server's own registry view. The 32-bit server on
// 64-bit Windows also writes those of KelvaneSX64.dll beside it, in the 64-bit view. Throws
// std::runtime_error when any of them cannot be written, after taking back what it wrote.
void RegisterDropHandler();
// Deletes the entries from both places, in the same views (the 64-bit one whether or not the file
// is there); failures are ignored.
void UnregisterDropHandler();
