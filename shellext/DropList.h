// The dragged items' paths, from a data object's CF_HDROP data.
#pragma once

#include <objidl.h>

#include <string>
#include <vector>

// Makes the drop list request on `source` and reads its paths in order, whole (wide).
// The data is checked against its block's size before a byte of it is used: a list whose end is
// missing gives the paths that end inside the block. GetData's failure is returned unchanged; data
// that is no drop list gives E_FAIL.
HRESULT FetchDropList(IDataObject* source, std::vector<std::wstring>& paths);
