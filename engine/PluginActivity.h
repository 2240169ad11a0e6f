// Which plug-in the engine is about to call, told to whoever must name the culprit should the
// process die inside it: the plug-in host writes it where the resident program can read it,
// kelvane-extract keeps it for its crash message.
#pragma once

#include <string>

class TPluginActivity {
public:
    virtual ~TPluginActivity() = default;
    // The plug-in's file name, and whether the call gives it an archive in memory; empty once the
    // call has returned.
    virtual void Calling(const std::string& plugin, bool memoryInput) noexcept = 0;
};

// The one observer of this process; null (the default) when nobody listens.
void SetPluginActivity(TPluginActivity* activity) noexcept;

// Marks a call into a plug-in for as long as it lives.
class TPluginCall {
public:
    explicit TPluginCall(const std::string& plugin, bool memoryInput = false) noexcept;
    ~TPluginCall();
    TPluginCall(const TPluginCall&) = delete;
    TPluginCall& operator=(const TPluginCall&) = delete;
};
