// KelvaneHost.exe: runs the plug-ins for the resident program, one extraction at a time, so that a
// plug-in that crashes or hangs costs one job and this process, never the resident program.
//   KelvaneHost REQUEST REPLY STATUS PARENT
// (inherited handles: request pipe, reply pipe, status block, the resident program's process)
// It ends when the request pipe closes, at the first malformed message, or when the resident
// program has gone, even while a plug-in hangs.
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "base/Owned.h"
#include "engine/Archive.h"
#include "engine/PluginList.h"
#include "host/CallStatus.h"
#include "host/Messages.h"

namespace {

constexpr int kMalformed = 2;

// A handle value from the command line that names an open handle of this process.
HANDLE InheritedHandle(const char* text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    DWORD flags = 0;
    return end && *end == '\0' && value != 0 && ::GetHandleInformation(handle, &flags) ? handle : nullptr;
}

int Serve(HANDLE requests, HANDLE replies, TCallStatus* status) {
    TCallStatusWriter writer(status);
    SetPluginActivity(&writer);
    TMessageReader reader(requests);
    std::vector<char> payload;
    if (!reader.Read(TMessageKind::kStart, payload))
        return kMalformed;
    auto skipped = DecodeStart(payload);
    if (!skipped)
        return kMalformed;
    TPluginList plugins;
    plugins.SetSkipped(std::move(*skipped));
    ReloadPlugins(plugins);
    for (;;) {
        // A closed request pipe is the resident program saying goodbye.
        if (!reader.Read(TMessageKind::kExtract, payload))
            return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : kMalformed;
        const auto request = DecodeExtract(payload);
        if (!request)
            return kMalformed;
        const TExtractOutcome outcome = ExtractPathOutcome(plugins, request->Source, request->Destination);
        if (!WriteMessage(replies, TMessageKind::kOutcome, EncodeOutcome(outcome)))
            return 0;
    }
}

}  // namespace

DWORD WINAPI EndWithParent(LPVOID parent) {
    ::WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    ::ExitProcess(0);
}

int main(int argc, char** argv) {
    // A crash ends this process at once: no dialog may wait for a user.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    if (argc != 5)
        return kMalformed;
    UniqueHandle requests(InheritedHandle(argv[1]));
    UniqueHandle replies(InheritedHandle(argv[2]));
    UniqueHandle statusMapping(InheritedHandle(argv[3]));
    UniqueHandle parent(InheritedHandle(argv[4]));
    if (!requests || !replies || !statusMapping || !parent)
        return kMalformed;
    UniqueHandle watch(::CreateThread(nullptr, 0, EndWithParent, parent.Get(), 0, nullptr));
    if (!watch)
        return kMalformed;
    UniqueWritableView status(::MapViewOfFile(statusMapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(TCallStatus)));
    if (!status)
        return kMalformed;
    return Serve(requests.Get(), replies.Get(), static_cast<TCallStatus*>(status.Get()));
}
