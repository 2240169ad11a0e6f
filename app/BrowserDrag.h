// Members dragged out of the browser. A right-drag carries their paths (CF_HDROP), as an archive
// browser offers them, so that a folder's menu shows our own drop handler's command; the main window
// takes such a drop as jobs. A left-drag carries the files themselves (CFSTR_FILEDESCRIPTORW and
// CFSTR_FILECONTENTS): each stream takes its member out through the browser's hosts when it is first
// read, off the window's thread, while the window goes on answering.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/ComPtr.h"
#include "engine/ExtractOutcome.h"

class TProgress;

struct TDraggedMember {
    std::string Path;  // the member's whole path, UTF-8
    std::string Name;  // its last component: the file's name where it is dropped
    uint64_t Size = 0;
    int64_t Time = 0;  // seconds since 1970, UTC
};

// Takes a member out to a file; called on a thread of the stream's own.
class TMemberSource {
public:
    virtual ~TMemberSource() = default;
    virtual TExtractOutcome TakeOut(const std::string& source, const std::string& destination) = 0;
};

// The drag's data: paths alone (right), or the files themselves (left). source must outlive the drag
// and every stream handed out.
ComPtr<IDataObject> MemberDataObject(std::vector<TDraggedMember> members, bool paths, TMemberSource& source);
// Runs the drag until the drop or its cancel. A drop where takenHere takes the members (a window of
// this program, which then queues them) ends the drag there, whatever the window offers OLE.
void DragMembers(std::vector<TDraggedMember> members,
                 bool right,
                 TMemberSource& source,
                 const std::function<bool(POINT, const std::vector<std::string>&)>& takenHere);
