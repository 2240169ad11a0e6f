// The shell entries that make the drop handler creatable and offered for drops onto folders.
#pragma once

// Writes the entries under HKEY_CLASSES_ROOT or, where that is refused (a standard user), under
// HKEY_CURRENT_USER\Software\Classes. Throws std::runtime_error when neither can be written.
void RegisterDropHandler();
// Deletes the entries from both places; failures are ignored.
void UnregisterDropHandler();
