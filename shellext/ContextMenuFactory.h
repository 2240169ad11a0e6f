// The class factory of the drop handler: one per module, living as long as the module.
#pragma once

#include <objbase.h>

#include <atomic>

class TContextMenuFactory final : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

    // References handed out, shell locks included.
    LONG References() const noexcept { return references_; }

private:
    // Shared by every apartment thread of the shell.
    std::atomic<LONG> references_ = 0;
};

TContextMenuFactory& TheFactory() noexcept;
