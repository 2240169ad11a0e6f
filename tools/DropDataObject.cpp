#include "tools/DropDataObject.h"

#include <shlobj.h>

#include <cstring>

#include "base/WideText.h"

namespace {

std::vector<char> Header(bool wide) {
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = wide;
    return std::vector<char>(reinterpret_cast<const char*>(&header), reinterpret_cast<const char*>(&header + 1));
}

}  // namespace

std::vector<char> DropListBytes(const std::vector<std::string>& paths, bool wide) {
    if (wide) {
        std::vector<std::wstring> widened;
        for (const std::string& path : paths)
            widened.push_back(WideFromAnsi(path));
        return DropListBytes(widened);
    }
    std::vector<char> bytes = Header(false);
    for (const std::string& path : paths)
        bytes.insert(bytes.end(), path.c_str(), path.c_str() + path.size() + 1);
    bytes.push_back('\0');
    return bytes;
}

std::vector<char> DropListBytes(const std::vector<std::wstring>& paths) {
    std::vector<char> bytes = Header(true);
    for (const std::wstring& path : paths) {
        const auto* units = reinterpret_cast<const char*>(path.c_str());
        bytes.insert(bytes.end(), units, units + (path.size() + 1) * sizeof(wchar_t));
    }
    bytes.insert(bytes.end(), 2, '\0');
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
