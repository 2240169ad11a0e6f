#include "engine/Archive.h"

#include "base/AnsiPath.h"

bool TFolder::Locate(const std::string& path, std::string& rest, fileInfo& info) {
    std::string prefix = path;
    rest.clear();
    if (Test(prefix, info))
        return true;
    SplitLastComponent(prefix, rest);
    for (;;) {
        if (Test(prefix, info))
            return true;
        std::string tail;
        SplitLastComponent(prefix, tail);
        rest = tail + "\\" + rest;
        if (prefix.empty())
            return false;
    }
}
