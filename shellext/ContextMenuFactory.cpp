#include "shellext/ContextMenuFactory.h"

#include <windows.h>

#include <exception>

#include "base/ComPtr.h"
#include "shellext/ContextMenu.h"

HRESULT TContextMenuFactory::QueryInterface(REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

ULONG TContextMenuFactory::AddRef() {
    return static_cast<ULONG>(++references_);
}

// The factory is static; reaching 0 only lets the module unload.
ULONG TContextMenuFactory::Release() {
    return static_cast<ULONG>(--references_);
}

HRESULT TContextMenuFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    // The handler cannot be an inner object: it has no separate non-delegating IUnknown.
    if (outer)
        return CLASS_E_NOAGGREGATION;
    ComPtr<TContextMenu> created;
    try {
        created = ComPtr<TContextMenu>::Share(new TContextMenu);
    } catch (const std::exception& error) {
        ::MessageBoxA(nullptr, error.what(), "KelvaneSX", MB_OK | MB_ICONERROR);
        return E_UNEXPECTED;
    }
    // Our reference goes at return: the object then lives only if the query gave one out.
    return created->QueryInterface(iid, object);
}

HRESULT TContextMenuFactory::LockServer(BOOL lock) {
    return ::CoLockObjectExternal(static_cast<IUnknown*>(this), lock, TRUE);
}

TContextMenuFactory& TheFactory() noexcept {
    static TContextMenuFactory factory;
    return factory;
}
