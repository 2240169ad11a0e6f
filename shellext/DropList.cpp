#include "shellext/DropList.h"

#include <windows.h>
#include <shlobj.h>

#include "base/ComPtr.h"
#include "base/DropFiles.h"
#include "base/Owned.h"

HRESULT FetchDropList(IDataObject* source, std::vector<std::wstring>& paths) {
    paths.clear();
    FORMATETC request = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    UniqueStgMedium medium;
    const HRESULT result = medium.Fetch(source, request);
    if (FAILED(result))
        return result;
    if (medium.Get().tymed != TYMED_HGLOBAL)
        return E_FAIL;
    const GlobalLockGuard lock(medium.Get().hGlobal);
    return ReadDropFiles(lock.Data(), lock.Size(), paths) ? S_OK : E_FAIL;
}
