#include "host/Messages.h"

#include <cstring>

#include "base/AnsiPath.h"
#include "engine/JobPaths.h"

namespace {

// Reasons are short and paths bounded; a text this long is a broken message.
constexpr uint32_t kMaxText = 32 * 1024;
constexpr uint32_t kMaxSkipped = 1000;
// Any job the engine takes fits one request: a source at the bound, and a destination that, within
// Windows' limit, is far shorter.
static_assert(kMaxJobPath <= kMaxText && 2 * 4 + 2 * kMaxJobPath <= kMaxPayload);
// An outcome's texts are for people and may each name a long path: each is cut, on a character, to
// a fifth of what its numbers leave, so that every outcome fits one message.
constexpr size_t kMaxOutcomeText = (kMaxPayload - 8 * 4) / 5;

class TWriter {
public:
    void Number(uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            Bytes.push_back(static_cast<char>(value >> shift & 0xFF));
    }
    void Text(const std::string& text) {
        Number(static_cast<uint32_t>(text.size()));
        Bytes.insert(Bytes.end(), text.begin(), text.end());
    }
    std::vector<char> Bytes;
};

class TReader {
public:
    explicit TReader(const std::vector<char>& bytes) : Bytes(bytes) {}
    bool Number(uint32_t& value) {
        if (Bytes.size() - At < 4)
            return false;
        value = 0;
        for (int i = 0; i < 4; ++i)
            value |= static_cast<uint32_t>(static_cast<uint8_t>(Bytes[At + i])) << (8 * i);
        At += 4;
        return true;
    }
    // Texts hold no zero byte: they become C strings on the other side.
    bool Text(std::string& text) {
        uint32_t length = 0;
        if (!Number(length) || length > kMaxText || Bytes.size() - At < length)
            return false;
        text.assign(Bytes.data() + At, length);
        At += length;
        return text.find('\0') == std::string::npos;
    }
    bool AtEnd() const { return At == Bytes.size(); }

private:
    const std::vector<char>& Bytes;
    size_t At = 0;
};

}  // namespace

std::vector<char> EncodeStart(const std::vector<std::string>& skipped) {
    TWriter writer;
    writer.Number(static_cast<uint32_t>(skipped.size()));
    for (const std::string& name : skipped)
        writer.Text(name);
    return writer.Bytes;
}

std::optional<std::vector<std::string>> DecodeStart(const std::vector<char>& payload) {
    TReader reader(payload);
    uint32_t count = 0;
    if (!reader.Number(count) || count > kMaxSkipped)
        return std::nullopt;
    std::vector<std::string> skipped(count);
    for (std::string& name : skipped)
        if (!reader.Text(name))
            return std::nullopt;
    return reader.AtEnd() ? std::optional(std::move(skipped)) : std::nullopt;
}

std::vector<char> EncodeExtract(const TExtractRequest& request) {
    TWriter writer;
    writer.Text(request.Source);
    writer.Text(request.Destination);
    return writer.Bytes;
}

std::optional<TExtractRequest> DecodeExtract(const std::vector<char>& payload) {
    TReader reader(payload);
    TExtractRequest request;
    if (!reader.Text(request.Source) || !reader.Text(request.Destination) || !reader.AtEnd())
        return std::nullopt;
    return request;
}

std::vector<char> EncodeOutcome(const TExtractOutcome& outcome) {
    TWriter writer;
    const TFailure& failure = outcome.Failure;
    writer.Number(static_cast<uint32_t>(failure.Kind));
    writer.Number(static_cast<uint32_t>(failure.PluginCode));
    writer.Number(failure.Win32Error);
    for (const std::string* text : {&failure.Plugin, &failure.File, &failure.Skipped, &outcome.Component,
                                    &outcome.Container})
        writer.Text(std::string(CutAtCharacter(*text, kMaxOutcomeText)));
    return writer.Bytes;
}

std::optional<TExtractOutcome> DecodeOutcome(const std::vector<char>& payload) {
    TReader reader(payload);
    TExtractOutcome outcome;
    TFailure& failure = outcome.Failure;
    uint32_t kind = 0;
    uint32_t code = 0;
    uint32_t error = 0;
    if (!reader.Number(kind) || kind > static_cast<uint32_t>(TFailureKind::kCanceled) || !reader.Number(code) ||
        !reader.Number(error))
        return std::nullopt;
    failure.Kind = static_cast<TFailureKind>(kind);
    failure.PluginCode = static_cast<int>(code);
    failure.Win32Error = error;
    for (std::string* text : {&failure.Plugin, &failure.File, &failure.Skipped, &outcome.Component,
                              &outcome.Container})
        if (!reader.Text(*text))
            return std::nullopt;
    return reader.AtEnd() ? std::optional(std::move(outcome)) : std::nullopt;
}
