#include "engine/PluginActivity.h"

namespace {

TPluginActivity* observer = nullptr;

}  // namespace

void SetPluginActivity(TPluginActivity* activity) noexcept {
    observer = activity;
}

TPluginCall::TPluginCall(const std::string& plugin) noexcept {
    if (observer)
        observer->Calling(plugin);
}

TPluginCall::~TPluginCall() {
    if (observer)
        observer->Calling({});
}
