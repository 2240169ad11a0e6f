#include "engine/Archive.h"
#include "engine/PluginList.h"

namespace {

// One level of the path: locate the longest known prefix, take it out, and either write it (the
// path ends here) or go one level deeper into it.
bool ResolveStep(TFolder& folder, const std::string& path, TPluginList& pluginList, const std::string& destPath) {
    std::string rest;
    fileInfo info;
    if (!folder.Locate(path, rest, info))
        return false;
    std::unique_ptr<TArchive> child = folder.OpenMember(info);
    if (!child)
        return false;
    if (rest.empty())
        return child->SaveTo(destPath);
    return child->BindPlugin(pluginList) && ResolveStep(*child, rest, pluginList, destPath);
}

}  // namespace

bool ExtractPath(TPluginList& pluginList, const std::string& sourcePath, const std::string& destPath) {
    auto extracting = pluginList.LockForExtraction();
    try {
        TRoot root;
        return ResolveStep(root, sourcePath, pluginList, destPath);
    } catch (...) {
        // Objects of the chain are released by unwinding; an extraction only ever reports false.
        return false;
    }
}
