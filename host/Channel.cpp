#include "host/Channel.h"

#include <algorithm>
#include <cmath>
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

int PermilleOf(double fraction) noexcept {
    // NaN and infinities must not reach a conversion.
    return fraction > 0 ? (fraction < 1 ? static_cast<int>(std::lround(fraction * 1000)) : 1000) : 0;
}

void WriteProgress(TProgressBlock& block, uint32_t job, int level, int levels, double fraction) noexcept {
    const LONG permille = PermilleOf(fraction);
    ::InterlockedIncrement(&block.Sequence);
    block.Job = job;
    block.Level = level;
    block.Levels = levels;
    block.Permille = permille;
    ::InterlockedIncrement(&block.Sequence);
}

std::optional<TJobProgress> ReadProgress(const TProgressBlock& block, uint32_t job) noexcept {
    // A host ended while it wrote leaves the sequence odd for good: a few tries, then nothing.
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Volatile reads keep their order, and x86 does not reorder loads.
        const LONG before = block.Sequence;
        const uint32_t number = block.Job;
        const LONG level = block.Level;
        const LONG levels = block.Levels;
        const LONG permille = block.Permille;
        if (before & 1 || block.Sequence != before)
            continue;
        if (number != job)
            return std::nullopt;
        TJobProgress progress;
        progress.Levels = static_cast<int>(std::clamp<LONG>(levels, 1, 0xFFFF));
        progress.Level = static_cast<int>(std::clamp<LONG>(level, 1, progress.Levels));
        progress.Permille = static_cast<int>(std::clamp<LONG>(permille, 0, 1000));
        return progress;
    }
    return std::nullopt;
}

void RequestCancel(TChannelMemory& memory, uint32_t job) noexcept {
    ::InterlockedExchange(&memory.CancelJob, static_cast<LONG>(job));
}

bool CancelRequested(const TChannelMemory& memory, uint32_t job) noexcept {
    return static_cast<uint32_t>(memory.CancelJob) == job;
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

bool TChannelEnd::WaitForMessage(unsigned spinMicroseconds, TTick& tick) {
    const double until = Microseconds() + spinMicroseconds;
    for (;;) {
        // On every pass, not only when a wait times out: a peer that keeps waking this side, or keeps
        // writing answers to other questions, must not keep the tick from running.
        if (tick.Due() && !tick.Run())
            return In.Full != 0;
        if (In.Full)
            return true;
        if (Microseconds() < until) {
            YieldProcessor();
            continue;
        }
        ::InterlockedExchange(&In.Waiting, 1);
        if (!In.Full) {
            const HANDLE handles[] = {InReady, Peer};
            const DWORD woken = ::WaitForMultipleObjects(2, handles, FALSE, tick.Wait());
            // A peer that ended may still have left its last message.
            if (woken != WAIT_OBJECT_0 && woken != WAIT_TIMEOUT) {
                ::InterlockedExchange(&In.Waiting, 0);
                return In.Full != 0;
            }
        }
        ::InterlockedExchange(&In.Waiting, 0);
    }
}

bool TChannelEnd::Receive(TMessageKind& kind,
                          std::vector<char>& payload,
                          unsigned spinMicroseconds,
                          const std::function<bool()>& tick,
                          DWORD tickMs) {
    TTick ticks(tick, tickMs);
    for (;;) {
        if (!WaitForMessage(spinMicroseconds, ticks))
            return false;
        // Read once: the other side must not be able to change a length after it was checked.
        const uint32_t number = In.Number;
        const uint32_t kindNumber = In.Kind;
        const uint32_t length = In.Length;
        if (Side == TChannelSide::kAsking && number != Number) {
            ::InterlockedExchange(&In.Full, 0);
            if (ticks.Stopped())
                return false;
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

TChannelEnd::TTick::TTick(const std::function<bool()>& tick, DWORD everyMs)
    : Tick(tick), EveryMs(everyMs), Next(tick ? ::GetTickCount64() + everyMs : 0) {}

bool TChannelEnd::TTick::Due() const {
    return Tick && ::GetTickCount64() >= Next;
}

bool TChannelEnd::TTick::Run() {
    Next = ::GetTickCount64() + EveryMs;
    Stopped_ = !Tick();
    return !Stopped_;
}

DWORD TChannelEnd::TTick::Wait() const {
    if (!Tick)
        return INFINITE;
    const ULONGLONG now = ::GetTickCount64();
    return Next > now ? static_cast<DWORD>(Next - now) : 0;
}
