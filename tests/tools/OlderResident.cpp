// Stands in for a resident program of an older version for the installer test: its window and
// instance mutex, and only the user's exit command; the quit that keeps the queue is unknown to it.
#include <windows.h>

#include "app/Identifiers.h"

namespace {

LRESULT CALLBACK Procedure(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_COMMAND && LOWORD(wParam) == IDM_EXIT)
        ::DestroyWindow(window);
    else if (msg == WM_DESTROY)
        ::PostQuitMessage(0);
    return ::DefWindowProcW(window, msg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const HANDLE mutex = ::CreateMutexA(nullptr, TRUE, "Kelvane");
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"Kelvane";
    if (!mutex || ::GetLastError() == ERROR_ALREADY_EXISTS || !::RegisterClassW(&windowClass) ||
        !::CreateWindowW(L"Kelvane", L"Kelvane", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, instance,
                         nullptr))
        return 1;
    // Bounded: a test that fails never leaves it behind for long.
    ::SetTimer(nullptr, 0, 120000, nullptr);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER)
        ::DispatchMessageW(&message);
    return 0;
}
