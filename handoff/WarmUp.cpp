#include "handoff/WarmUp.h"

#include <windows.h>

#include "handoff/Channel.h"

void AskToWarmUp() noexcept {
    // Posted, not sent: the shell's thread must never wait for a busy window.
    const UINT message = RegisterWarmUpMessage();
    if (HWND receiver = message ? FindReceiver() : nullptr)
        ::PostMessageA(receiver, message, 0, 0);
}
