#include "tests/shellext/ShellTestEnv.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/ProcAddress.h"
#include "shellext/DropHandlerClsid.h"
#include "tests/handoff/ReceiverWindow.h"

ServerDll::ServerDll(const std::string& path) : module_(::LoadLibraryA(path.c_str())) {
    EXPECT_TRUE(module_) << path;
    using GetClassObjectFn = decltype(GetClassObject);
    using NoArgumentFn = decltype(CanUnloadNow);
    GetClassObject = ProcAddress<GetClassObjectFn>(module_.Get(), "DllGetClassObject");
    CanUnloadNow = ProcAddress<NoArgumentFn>(module_.Get(), "DllCanUnloadNow");
    RegisterServer = ProcAddress<NoArgumentFn>(module_.Get(), "DllRegisterServer");
    UnregisterServer = ProcAddress<NoArgumentFn>(module_.Get(), "DllUnregisterServer");
    EXPECT_TRUE(GetClassObject && CanUnloadNow && RegisterServer && UnregisterServer);
}

ServerDll::ServerDll() : ServerDll(ProgramFolder() + "KelvaneSX.dll") {}

ComPtr<IClassFactory> ServerDll::Factory() const {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(GetClassObject(kDropHandlerClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
}

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

ComPtr<TestDataObject> TestDataObject::WithPaths(const std::vector<std::string>& paths, bool wide) {
    return WithBytes(DropListBytes(paths, wide));
}

ComPtr<TestDataObject> TestDataObject::WithBytes(std::vector<char> bytes) {
    return ComPtr<TestDataObject>(new TestDataObject(std::move(bytes)));
}

HRESULT TestDataObject::QueryInterface(REFIID iid, void** object) {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataObject)) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

ULONG TestDataObject::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT TestDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (++Requests >= FailFrom)
        return FailWith;
    EXPECT_EQ(format->cfFormat, CF_HDROP);
    EXPECT_EQ(format->ptd, nullptr);
    EXPECT_EQ(format->dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(format->lindex, -1);
    EXPECT_EQ(format->tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    *medium = {};
    medium->tymed = Medium;
    if (Medium != TYMED_HGLOBAL)
        return S_OK;
    medium->hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    if (void* data = ::GlobalLock(medium->hGlobal)) {
        std::memcpy(data, bytes_.data(), bytes_.size());
        ::GlobalUnlock(medium->hGlobal);
    }
    return S_OK;
}
