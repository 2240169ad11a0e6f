#include "host/CallStatus.h"

#include <cstring>

#include "base/PathText.h"

namespace {

constexpr LONG kInside = 1;
constexpr LONG kInsideWithMemoryInput = 2;

}  // namespace

void TCallStatusWriter::Calling(const std::string& plugin, bool memoryInput) noexcept {
    if (plugin.empty()) {
        ::InterlockedExchange(&Status->Inside, 0);
        return;
    }
    // Called around every plug-in call: the name is written only when it changes, and cut (which
    // looks at every byte) only when it is too long, which file names never are.
    if (plugin != FieldText(Status->Plugin, sizeof Status->Plugin)) {
        const std::string_view name =
            plugin.size() < sizeof Status->Plugin ? plugin : CutAtCharacter(plugin, sizeof Status->Plugin - 1);
        name.copy(Status->Plugin, name.size());
        Status->Plugin[name.size()] = '\0';
    }
    // The name is complete before the flag says so.
    ::InterlockedExchange(&Status->Inside, memoryInput ? kInsideWithMemoryInput : kInside);
}

std::string PluginInside(const TCallStatus& status) {
    if (!status.Inside)
        return {};
    // One copy, looked at afterwards: a host that still writes cannot move the name's end between
    // the look for it and the copy.
    char name[sizeof status.Plugin];
    std::memcpy(name, status.Plugin, sizeof name);
    return std::string(FieldText(name, sizeof name));
}

bool InsideWithMemoryInput(const TCallStatus& status) {
    return status.Inside == kInsideWithMemoryInput;
}
