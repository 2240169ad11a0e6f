// The module-wide state and the four exports of KelvaneSX.dll.
#include "shellext/Server.h"

#include <objbase.h>

#include <atomic>

#include "shellext/ContextMenuFactory.h"
#include "shellext/DropHandlerClsid.h"
#include "shellext/HandOffQueue.h"
#include "shellext/Registration.h"

namespace {

// The shell makes handlers on several apartment threads at once: a count lost between two of them
// would let the module unload under a live object.
std::atomic<LONG> liveObjects = 0;
std::atomic<bool> unloading = false;
HMODULE module = nullptr;

HRESULT RegistrationUpdate(void (*update)()) noexcept {
    try {
        update();
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace

void ObjectCreated() noexcept {
    ++liveObjects;
}

void ObjectDestroyed() noexcept {
    if (!unloading)
        --liveObjects;
}

HMODULE ServerModule() noexcept {
    return module;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        module = instance;
        ::DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        unloading = true;
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (!IsEqualCLSID(classId, kDropHandlerClsid)) {
        *object = nullptr;
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return TheFactory().QueryInterface(iid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return liveObjects != 0 || TheFactory().References() != 0 || HandOffsPending() ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return RegistrationUpdate(RegisterDropHandler);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return RegistrationUpdate(UnregisterDropHandler);
}
