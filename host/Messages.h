// What the resident program and its plug-in host say to each other over their private channel.
// A message is its kind (32 bits), its payload's length (32 bits), then the payload; integers are
// little-endian, texts a length and their bytes. Every reader checks every length before it trusts
// a byte: a malformed message is refused whole.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/Crossing.h"
#include "engine/ExtractOutcome.h"
#include "engine/ListingSink.h"
#include "engine/PluginFile.h"

enum class TMessageKind : uint32_t {
    kStart = 1,     // resident -> host, first: the plug-in folder, the plug-ins to leave out and those to
                    // give copies; answered
                    // empty once loaded
    kExtract = 2,   // resident -> host: one job, or the rest of one from a level the other host handed on
    kOutcome = 3,   // host -> resident: how the job went
    kHandOver = 4,  // host -> resident: the job goes on in the other width's host, from this level
    kInquire = 5,     // resident -> host: what one plug-in file is; answered with kFacts
    kFacts = 6,       // host -> resident
    kConfigure = 7,   // resident -> host: run one plug-in's settings dialog; answered with kConfigured
    kConfigured = 8,  // host -> resident: what the dialog returned
    kListed = 9,      // host -> resident: a piece of a listing; answered with kListMore
    kListMore = 10,   // resident -> host: the next piece, or after the last the outcome
    kQuit = 11,       // resident -> host: end now; stays last, readers check kinds against it
};

// Enough for a job's paths and a level's names, each within kMaxJobPath; a larger length is a
// broken message.
constexpr uint32_t kMaxPayload = 320 * 1024;

// An outcome's texts are for people and may each name a long path: each is cut, on a character, to
// this many bytes, as is the list of plug-ins a hand-over left out.
constexpr size_t kMaxOutcomeText = 32 * 1024;

// A section that holds a level's bytes, as a handle value of the process that reads the message;
// 0 for none.
using TSectionValue = uint64_t;

struct TExtractRequest {
    std::string Source;
    std::string Destination;
    // The first level this host may hand on to the other width's host; 0: none.
    uint32_t FirstHandOver = 0;
    // The level to start in, handed on by the other host, and its bytes; none when Section and Serial
    // are 0. Serial names the bytes, which the host may keep under it; with no Section, it names the
    // level the host kept from an earlier hand-over.
    TSectionValue Section = 0;
    uint64_t Serial = 0;
    uint32_t Size = 0;
    TCrossing Level = {};
    // Levels handed on before go on with their bytes again: the other host no longer kept one.
    bool Afresh = false;
    // The members of the level or folder Source names are listed, in pieces; Destination is empty.
    bool List = false;
};

struct THandOver {
    TSectionValue Section = 0;  // 0 with Serial 0: the level is the archive file on disk
    uint64_t Serial = 0;        // names the bytes; with no Section, the level the other host kept
    uint32_t Size = 0;
    TCrossing Level;
    std::string Skipped;  // the plug-ins this host left out, for a failure to name
};

struct TStartRequest {
    std::string Folder;  // empty: the folder FindPluginFolder names
    std::vector<std::string> Skipped;
    std::vector<std::string> GivenCopies;  // plug-ins given a temporary copy of every level, never memory
    uint32_t IdleEndMs = 0;  // idle this long, the host ends by itself
    // A host that answers questions about single plug-ins loads none at its start, and takes no job.
    bool Inquiry = false;
};

// A question about one plug-in file of the host's folder, named by its file name alone.
struct TPluginQuestion {
    std::string FileName;
    TSectionValue Owner = 0;  // kConfigure: the window that owns the plug-in's dialog
};

std::vector<char> EncodeStart(const TStartRequest& start);
std::optional<TStartRequest> DecodeStart(const std::vector<char>& payload);
std::vector<char> EncodeExtract(const TExtractRequest& request);
std::optional<TExtractRequest> DecodeExtract(const std::vector<char>& payload);
// Empty when a text is too long for a message (names of levels can outgrow the job's path).
std::vector<char> EncodeHandOver(const THandOver& handOver);
std::optional<THandOver> DecodeHandOver(const std::vector<char>& payload);
// givenCopies: the plug-ins the host gives copies of every level, as it learnt or was told.
std::vector<char> EncodeOutcome(const TExtractOutcome& outcome, const std::vector<std::string>& givenCopies = {});
std::optional<TExtractOutcome> DecodeOutcome(const std::vector<char>& payload,
                                             std::vector<std::string>* givenCopies = nullptr);
// A listing cut into pieces that each fit one message, as the members come. The first piece names
// the plug-in; each member is its name, size and time.
class TListingPieces final : public TListingSink {
public:
    void Begin(const std::string& plugin) override;
    void Add(std::string_view name, uint64_t size, int64_t time) override;
    // Hands the pieces over; at least one once Begin has come.
    std::vector<std::vector<char>> Take() { return std::move(Pieces); }

    // The bytes a piece may hold; tests make it small.
    size_t PieceBytes = kMaxPayload;

private:
    std::vector<std::vector<char>> Pieces;
};
// Gives a piece's members to sink, Begin first for the first piece; false, with nothing given, when
// the piece is malformed.
bool ReadListingPiece(const std::vector<char>& piece, TListingSink& sink);

std::vector<char> EncodeQuestion(const TPluginQuestion& question);
std::optional<TPluginQuestion> DecodeQuestion(const std::vector<char>& payload);
std::vector<char> EncodeFacts(const TPluginFacts& facts);
std::optional<TPluginFacts> DecodeFacts(const std::vector<char>& payload);

