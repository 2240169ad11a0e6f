#include "tools/DropDataObject.h"

#include <shlobj.h>

#include <cstring>

#include "base/WideText.h"

HRESULT TDropDataObject::QueryInterface(REFIID iid, void** object) {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataObject)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

ULONG TDropDataObject::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TDropDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
        return DV_E_FORMATETC;
    *medium = {};
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (!medium->hGlobal)
        return E_OUTOFMEMORY;
    std::memcpy(::GlobalLock(medium->hGlobal), bytes_.data(), bytes_.size());
    ::GlobalUnlock(medium->hGlobal);
    return S_OK;
}
