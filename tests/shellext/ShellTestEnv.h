// What the drop handler tests play the shell with: the server module, a data object, item-ID lists.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <climits>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "base/Owned.h"

// KelvaneSX.dll loaded for one test: every test starts with a fresh module.
class ServerDll {
public:
    explicit ServerDll(const std::string& path);
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

// CF_HDROP data: the DROPFILES header, then the texts, each with its zero, then one more zero.
std::vector<char> DropListBytes(const std::vector<std::string>& paths, bool wide);

// A data object offering CF_HDROP in global memory, counting its references and its requests.
class TestDataObject final : public IDataObject {
public:
    explicit TestDataObject(std::vector<char> bytes) : bytes_(std::move(bytes)) {}
    static ComPtr<TestDataObject> WithPaths(const std::vector<std::string>& paths, bool wide = false);
    static ComPtr<TestDataObject> WithBytes(std::vector<char> bytes);

    ULONG References() const { return references_; }
    int Requests = 0;
    // Requests from this number on (counted from 1) fail with FailWith.
    int FailFrom = INT_MAX;
    HRESULT FailWith = DV_E_FORMATETC;
    DWORD Medium = TYMED_HGLOBAL;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    ULONG references_ = 1;
    std::vector<char> bytes_;
};

using UniqueIdList = Unique<NullIsEmpty<PIDLIST_ABSOLUTE, ::ILFree>>;
