// What the drop handler tests play the shell with: the server module, a data object, item-ID lists.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <climits>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/Owned.h"
#include "tools/DropDataObject.h"

// KelvaneSX.dll loaded for one test: every test starts with a fresh module.
class ServerDll {
public:
    explicit ServerDll(const std::string& path);  // UTF-8
    ServerDll();

    HMODULE Module() const { return module_.Get(); }
    ComPtr<IClassFactory> Factory() const;
    // A new drop handler through the factory, as the shell makes one.
    template <typename T>
    ComPtr<T> Create(REFIID iid) const {
        ComPtr<T> object;
        const HRESULT result = Factory()->CreateInstance(nullptr, iid, object.PutVoid());
        if (FAILED(result))
            object.Reset();
        return object;
    }

    HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* CanUnloadNow)() = nullptr;
    HRESULT(STDAPICALLTYPE* RegisterServer)() = nullptr;
    HRESULT(STDAPICALLTYPE* UnregisterServer)() = nullptr;

private:
    UniqueModule module_;
};

class ComApartment {
public:
    ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { ::CoUninitialize(); }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// The shell's drop data, counting its requests and failing them on demand.
class TestDataObject final : public TDropDataObject {
public:
    using TDropDataObject::TDropDataObject;
    static ComPtr<TestDataObject> WithPaths(const std::vector<std::string>& paths, bool wide = false);
    static ComPtr<TestDataObject> WithBytes(std::vector<char> bytes);

    int Requests = 0;
    // Requests from this number on (counted from 1) fail with FailWith.
    int FailFrom = INT_MAX;
    HRESULT FailWith = DV_E_FORMATETC;
    DWORD Medium = TYMED_HGLOBAL;

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
};

using UniqueIdList = Unique<NullIsEmpty<PIDLIST_ABSOLUTE, ::ILFree>>;
