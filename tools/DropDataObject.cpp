#include "tools/DropDataObject.h"

#include <shlobj.h>

#include <cstring>

std::vector<char> DropListBytes(const std::vector<std::string>& paths, bool wide) {
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = wide;
    std::vector<char> bytes(reinterpret_cast<const char*>(&header), reinterpret_cast<const char*>(&header + 1));
    for (const std::string& path : paths) {
        if (!wide) {
            bytes.insert(bytes.end(), path.c_str(), path.c_str() + path.size() + 1);
            continue;
        }
        std::wstring text(path.size(), L'\0');
        text.resize(::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), text.data(),
                                          static_cast<int>(text.size())));
        const auto* units = reinterpret_cast<const char*>(text.c_str());
        bytes.insert(bytes.end(), units, units + (text.size() + 1) * sizeof(wchar_t));
    }
    bytes.insert(bytes.end(), wide ? 2 : 1, '\0');
    return bytes;
}

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
