#include "engine/PluginActivity.h"

namespace {

TPluginActivity* observer = nullptr;

}  // namespace

void SetPluginActivity(TPluginActivity* activity) noexcept {
    observer = activity;
}

TPluginCall::TPluginCall(const std::string& plugin, bool memoryInput) noexcept {
    if (observer)
        observer->Calling(plugin, memoryInput);
}

TPluginCall::~TPluginCall() {
    if (observer)
        observer->Calling({}, false);
}
