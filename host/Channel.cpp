#include "host/Channel.h"

#include <cstring>

namespace {

double Microseconds() {
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    return 1e6 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

std::string HostCommandLine(const std::string& hostPath,
                            HANDLE section,
                            HANDLE requestReady,
                            HANDLE replyReady,
                            HANDLE parent,
                            const std::string& token) {
    std::string line = "\"";
    line += hostPath;
    line += '"';
    for (HANDLE handle : {section, requestReady, replyReady, parent}) {
        line += ' ';
        line += std::to_string(reinterpret_cast<uintptr_t>(handle));
    }
    line += ' ';
    line += token;
    return line;
}

bool TChannelEnd::Send(TMessageKind kind, const std::vector<char>& payload) {
    if (payload.size() > kMaxPayload || Out.Full)
        return false;
    if (Side == TChannelSide::kAsking) {
        ::InterlockedExchange(&In.Full, 0);
        ++Number;
    }
    Out.Number = Number;
    Out.Kind = static_cast<uint32_t>(kind);
    Out.Length = static_cast<uint32_t>(payload.size());
    std::memcpy(Out.Payload, payload.data(), payload.size());
    // Interlocked operations order everything: the message is whole before it is marked, and either
    // the reader sees it before it sleeps or this side sees the reader asleep.
    ::InterlockedExchange(&Out.Full, 1);
    if (::InterlockedCompareExchange(&Out.Waiting, 0, 0))
        ::SetEvent(OutReady);
    return true;
}

bool TChannelEnd::WaitForMessage(unsigned spinMicroseconds) {
    const double until = Microseconds() + spinMicroseconds;
    while (!In.Full) {
        if (Microseconds() < until) {
            YieldProcessor();
            continue;
        }
        ::InterlockedExchange(&In.Waiting, 1);
        if (!In.Full) {
            const HANDLE handles[] = {InReady, Peer};
            const DWORD woken = ::WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            ::InterlockedExchange(&In.Waiting, 0);
            // A peer that ended may still have left its last message.
            if (woken != WAIT_OBJECT_0)
                return In.Full != 0;
        }
        ::InterlockedExchange(&In.Waiting, 0);
    }
    return true;
}

bool TChannelEnd::Receive(TMessageKind& kind, std::vector<char>& payload, unsigned spinMicroseconds) {
    for (;;) {
        if (!WaitForMessage(spinMicroseconds))
            return false;
        // Read once: the other side must not be able to change a length after it was checked.
        const uint32_t number = In.Number;
        const uint32_t kindNumber = In.Kind;
        const uint32_t length = In.Length;
        if (Side == TChannelSide::kAsking && number != Number) {
            ::InterlockedExchange(&In.Full, 0);
            continue;
        }
        if (kindNumber < static_cast<uint32_t>(TMessageKind::kStart) ||
            kindNumber > static_cast<uint32_t>(TMessageKind::kQuit) || length > kMaxPayload)
            return false;
        kind = static_cast<TMessageKind>(kindNumber);
        payload.assign(In.Payload, In.Payload + length);
        Number = number;
        ::InterlockedExchange(&In.Full, 0);
        return true;
    }
}
