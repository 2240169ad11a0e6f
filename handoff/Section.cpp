#include "handoff/Section.h"

#include <windows.h>

size_t MappedSize(const void* view) noexcept {
    MEMORY_BASIC_INFORMATION region = {};
    if (!view || ::VirtualQuery(view, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT)
        return 0;
    return region.RegionSize - (static_cast<const char*>(view) - static_cast<const char*>(region.BaseAddress));
}
