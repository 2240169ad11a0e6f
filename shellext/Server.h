// Module-wide state of the in-process server.
#pragma once

#include <windows.h>

// Drop handler objects report their construction and destruction here; once the module unloads,
// destructions are no longer counted.
void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;

HMODULE ServerModule() noexcept;
