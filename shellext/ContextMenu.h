// The drop handler: offers "ここに解凍(&E)" when paths into archives are right-dragged onto a folder,
// and hands the folder and the paths to the resident program.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "base/ComPtr.h"

class TContextMenu final : public IShellExtInit, public IContextMenu, public ISupportErrorInfo {
public:
    TContextMenu();
    ~TContextMenu();
    TContextMenu(const TContextMenu&) = delete;
    TContextMenu& operator=(const TContextMenu&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progId) override;

    HRESULT STDMETHODCALLTYPE
    QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst, UINT idCmdLast, UINT flags) override;
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    HRESULT STDMETHODCALLTYPE
    GetCommandString(UINT_PTR idCmd, UINT type, UINT* reserved, CHAR* name, UINT cchMax) override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override;

private:
    // Objects live on one apartment thread: plain arithmetic suffices.
    ULONG references_ = 0;
    std::wstring destinationFolder_;
    ComPtr<IDataObject> dataObject_;
};
