#include "host/CallStatus.h"

#include "base/AnsiPath.h"

void TCallStatusWriter::Calling(const std::string& plugin) noexcept {
    if (plugin.empty()) {
        ::InterlockedExchange(&Status->Inside, 0);
        return;
    }
    // The name is complete before the flag says so.
    const std::string_view name = CutAtCharacter(plugin, sizeof Status->Plugin - 1);
    name.copy(Status->Plugin, name.size());
    Status->Plugin[name.size()] = '\0';
    ::InterlockedExchange(&Status->Inside, 1);
}

std::string PluginInside(const TCallStatus& status) {
    if (!status.Inside)
        return {};
    return std::string(FieldText(status.Plugin, sizeof status.Plugin));
}
