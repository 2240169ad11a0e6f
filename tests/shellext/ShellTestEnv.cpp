#include "tests/shellext/ShellTestEnv.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/ProcAddress.h"
#include "base/WideText.h"
#include "shellext/DropHandlerClsid.h"
#include "shellext/ServerFile.h"
#include "tests/handoff/ReceiverWindow.h"

ServerDll::ServerDll(const std::string& path) : module_(::LoadLibraryW(WideFromUtf8(path).c_str())) {
    EXPECT_TRUE(module_) << path;
    using GetClassObjectFn = decltype(GetClassObject);
    using NoArgumentFn = decltype(CanUnloadNow);
    GetClassObject = ProcAddress<GetClassObjectFn>(module_.Get(), "DllGetClassObject");
    CanUnloadNow = ProcAddress<NoArgumentFn>(module_.Get(), "DllCanUnloadNow");
    RegisterServer = ProcAddress<NoArgumentFn>(module_.Get(), "DllRegisterServer");
    UnregisterServer = ProcAddress<NoArgumentFn>(module_.Get(), "DllUnregisterServer");
    EXPECT_TRUE(GetClassObject && CanUnloadNow && RegisterServer && UnregisterServer);
}

ServerDll::ServerDll() : ServerDll(ProgramFolder() + kServerFileName) {}

ComPtr<IClassFactory> ServerDll::Factory() const {
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(GetClassObject(kDropHandlerClsid, IID_IClassFactory, factory.PutVoid()), S_OK);
    return factory;
}

ComPtr<TestDataObject> TestDataObject::WithPaths(const std::vector<std::string>& paths, bool wide) {
    return WithBytes(DropListBytes(paths, wide));
}

ComPtr<TestDataObject> TestDataObject::WithBytes(std::vector<char> bytes) {
    return ComPtr<TestDataObject>(new TestDataObject(std::move(bytes)));
}

HRESULT TestDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (++Requests >= FailFrom)
        return FailWith;
    EXPECT_EQ(format->cfFormat, CF_HDROP);
    EXPECT_EQ(format->ptd, nullptr);
    EXPECT_EQ(format->dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(format->lindex, -1);
    EXPECT_EQ(format->tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    if (Medium == TYMED_HGLOBAL)
        return TDropDataObject::GetData(format, medium);
    *medium = {};
    medium->tymed = Medium;
    return S_OK;
}
