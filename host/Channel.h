// The private channel between the resident program and its plug-in host: one unnamed section that
// only the two hold (the host inherits its handle), with a mailbox each way and the call status,
// and an unnamed event per mailbox. Under Wine every wait is a trip through the wineserver, so a
// reader first watches its mailbox for a moment, and a writer wakes the reader only when it sleeps.
// Messages are numbered: an answer carries the number of the message it answers, and the asking
// side takes only answers to its last one, so that no answer can be taken for a later question.
// A job is known by its request's number, in its progress and in a cancel request alike: neither can
// touch a later job.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/CallStatus.h"
#include "host/Messages.h"

struct TMailbox {
    volatile LONG Full;     // a message waits; only the reader empties it
    volatile LONG Waiting;  // the reader sleeps on the event
    volatile uint32_t Number;
    volatile uint32_t Kind;
    volatile uint32_t Length;
    char Payload[kMaxPayload];
};

// How far the host's job has come: only the latest values, overwritten at every plug-in callback and
// sampled by the resident program now and then, so that a chatty plug-in costs a few stores.
struct TProgressBlock {
    volatile LONG Sequence;  // odd while the host writes; a reader that sees it change reads again
    volatile uint32_t Job;   // the request's number
    volatile LONG Level;     // from 1
    volatile LONG Levels;
    volatile LONG Permille;  // of the level, 0 to 1000
};

struct TJobProgress {
    int Level;
    int Levels;
    int Permille;
};

struct TChannelMemory {
    TMailbox Requests;  // resident program -> host
    TMailbox Replies;   // host -> resident program
    TCallStatus Status;
    TProgressBlock Progress;  // host -> resident program
    volatile LONG CancelJob;  // resident program -> host: the number of the request to stop
};

// A fraction as permille, whatever it holds: clamped to 0 to 1000, NaN as 0.
int PermilleOf(double fraction) noexcept;
// The host's side of the progress block: one writer, the thread that runs the job.
void WriteProgress(TProgressBlock& block, uint32_t job, int level, int levels, double fraction) noexcept;
// The resident program's side: the values for that job, made sane (1 <= level <= levels <= 65535,
// permille 0 to 1000); none when the block holds another job's, or is being written.
std::optional<TJobProgress> ReadProgress(const TProgressBlock& block, uint32_t job) noexcept;
void RequestCancel(TChannelMemory& memory, uint32_t job) noexcept;
bool CancelRequested(const TChannelMemory& memory, uint32_t job) noexcept;

// The host's command line: its path, then the handles it inherits (the section, the requests' and
// the replies' events, the resident program's process) as the host reads them, then the token its
// temporary names carry.
std::string HostCommandLine(const std::string& hostPath,
                            HANDLE section,
                            HANDLE requestReady,
                            HANDLE replyReady,
                            HANDLE parent,
                            const std::string& token);

// The resident program asks, the host answers.
enum class TChannelSide { kAsking, kAnswering };

// One side's view: the mailbox it writes, the one it reads, and the peer whose end it watches.
class TChannelEnd {
public:
    TChannelEnd(TChannelSide side, TMailbox& out, HANDLE outReady, TMailbox& in, HANDLE inReady, HANDLE peer)
        : Side(side), Out(out), OutReady(outReady), In(in), InReady(inReady), Peer(peer) {}

    // False when the payload is too long or the last message was never taken. The asking side
    // first drops an answer still waiting: it answers an earlier message.
    bool Send(TMessageKind kind, const std::vector<char>& payload);
    // The next message, after watching for spinMicroseconds before sleeping; false when the peer
    // has ended or the message is malformed (an unknown kind, a length over the bound). The asking
    // side passes over answers to other messages than its last. While it sleeps, tick runs about
    // every tickMs, however often the peer wakes it; once it answers false, the wait ends with false unless a message has come.
    bool Receive(TMessageKind& kind,
                 std::vector<char>& payload,
                 unsigned spinMicroseconds,
                 const std::function<bool()>& tick = nullptr,
                 DWORD tickMs = INFINITE);
    // The asking side's last message; on the answering side, the message being answered.
    uint32_t LastNumber() const { return Number; }

private:
    // When the caller's tick is due, across the waits of one Receive.
    class TTick {
    public:
        TTick(const std::function<bool()>& tick, DWORD everyMs);
        bool Due() const;
        // Runs the tick; its answer.
        bool Run();
        // Whether the tick has answered false.
        bool Stopped() const { return Stopped_; }
        // How long a wait may sleep before the tick is due.
        DWORD Wait() const;

    private:
        const std::function<bool()>& Tick;
        DWORD EveryMs;
        ULONGLONG Next;
        bool Stopped_ = false;
    };

    bool WaitForMessage(unsigned spinMicroseconds, TTick& tick);

    TChannelSide Side;
    uint32_t Number = 0;  // the asking side's last message; the message the answering side answers
    TMailbox& Out;
    HANDLE OutReady;
    TMailbox& In;
    HANDLE InReady;
    HANDLE Peer;
};
