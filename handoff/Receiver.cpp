#include "handoff/Receiver.h"

#include "base/Owned.h"
#include "handoff/BlockFormat.h"
#include "handoff/Channel.h"
#include "handoff/Section.h"

bool ReceiveHandOff(HWND window, WPARAM wParam, TPendingBlocks& pending) noexcept {
    try {
        UniqueHandle section(::OpenFileMappingA(FILE_MAP_READ, FALSE, SectionName(wParam).c_str()));
        if (!section)
            return false;
        UniqueView view(::MapViewOfFile(section.Get(), FILE_MAP_READ, 0, 0, 0));
        if (!view)
            return false;
        const size_t mapped = MappedSize(view.Get());
        if (mapped < kTotalLengthSize)
            return false;
        const char* start = static_cast<const char*>(view.Get());
        // The length comes from another process: it must lie inside what is mapped here.
        const TBlockHead head = LoadBlockHead(start);
        if (!HeadIsPlausible(head) || head.Size > mapped)
            return false;
        pending.Push(std::vector<char>(start, start + head.Size));
        if (!::PostMessageA(window, WM_USER, 0, 0)) {
            pending.DropNewest();
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}
