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

#include "engine/ExtractOutcome.h"

enum class TMessageKind : uint32_t {
    kStart = 1,    // resident -> host, first: the plug-ins to leave out; answered empty once loaded
    kExtract = 2,  // resident -> host: one job
    kOutcome = 3,  // host -> resident: how the job went
    kQuit = 4,     // resident -> host: end now; stays last, readers check kinds against it
};

// Far more than two paths and a reason need; a larger length is a broken message.
constexpr uint32_t kMaxPayload = 64 * 1024;

struct TExtractRequest {
    std::string Source;
    std::string Destination;
};

std::vector<char> EncodeStart(const std::vector<std::string>& skipped);
std::optional<std::vector<std::string>> DecodeStart(const std::vector<char>& payload);
std::vector<char> EncodeExtract(const TExtractRequest& request);
std::optional<TExtractRequest> DecodeExtract(const std::vector<char>& payload);
std::vector<char> EncodeOutcome(const TExtractOutcome& outcome);
std::optional<TExtractOutcome> DecodeOutcome(const std::vector<char>& payload);

