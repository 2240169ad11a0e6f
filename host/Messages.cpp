#include "host/Messages.h"

#include <cstring>
#include <string_view>

#include "base/PathText.h"
#include "engine/JobPaths.h"

namespace {

// Reasons are short and paths bounded; a text this long is a broken message.
constexpr uint32_t kMaxText = 48 * 1024;
constexpr uint32_t kMaxPluginNames = 1000;
// A plug-in's pattern and description texts come from 256-byte buffers; the bound keeps the most
// that GetPluginInfo can give within a message.
constexpr size_t kMaxFormatText = 512;
static_assert(3 * 4 + 2 * (4 + kMaxOutcomeText) + 4 + 200 * (4 + kMaxFormatText) <= kMaxPayload);
// Any job the engine takes fits one request, also with the level it goes on from: six texts within
// the bound (a source at it, a destination far shorter within Windows' limit, the level's names).
static_assert(kMaxJobPath <= kMaxText && 8 * 4 + 6 * kMaxText <= kMaxPayload);
// Every outcome fits one message, its texts cut as they are.
static_assert(kMaxOutcomeText <= kMaxText && 8 * 4 + 5 * kMaxOutcomeText <= kMaxPayload);

// Writes a message of its own, or on at the end of one it is given (a listing's piece).
class TWriter {
public:
    TWriter() : Bytes(Own) {}
    explicit TWriter(std::vector<char>& onto) : Bytes(onto) {}
    TWriter(const TWriter&) = delete;
    TWriter& operator=(const TWriter&) = delete;

    void Number(uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            Bytes.push_back(static_cast<char>(value >> shift & 0xFF));
    }
    void Wide(uint64_t value) {
        Number(static_cast<uint32_t>(value));
        Number(static_cast<uint32_t>(value >> 32));
    }
    // A text past the bound spoils the message: Bytes come out empty.
    void Text(std::string_view text) {
        Fits = Fits && text.size() <= kMaxText;
        Number(static_cast<uint32_t>(text.size()));
        Bytes.insert(Bytes.end(), text.begin(), text.end());
    }
    void Crossing(const TCrossing& level) {
        for (const std::string* text : {&level.Name, &level.Container, &level.Member, &level.Rest})
            Text(*text);
        Number(static_cast<uint32_t>(level.Level));
    }
    std::vector<char> Take() { return Fits ? std::move(Bytes) : std::vector<char>(); }
    bool Fits = true;

private:
    std::vector<char> Own;
    std::vector<char>& Bytes;
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
    bool Wide(uint64_t& value) {
        uint32_t low = 0;
        uint32_t high = 0;
        if (!Number(low) || !Number(high))
            return false;
        value = uint64_t{high} << 32 | low;
        return true;
    }
    bool Crossing(TCrossing& level) {
        uint32_t number = 0;
        for (std::string* text : {&level.Name, &level.Container, &level.Member, &level.Rest})
            if (!Text(*text))
                return false;
        // A level's number counts the path's components, so it is far below the bound.
        if (!Number(number) || number == 0 || number > kMaxJobPath)
            return false;
        level.Level = static_cast<int>(number);
        return true;
    }
    // Texts hold no zero byte: they become C strings on the other side.
    bool Text(std::string& text) {
        std::string_view view;
        if (!View(view))
            return false;
        text.assign(view);
        return true;
    }
    // The same text, seen where it lies in the message.
    bool View(std::string_view& text) {
        uint32_t length = 0;
        if (!Number(length) || length > kMaxText || Bytes.size() - At < length)
            return false;
        text = std::string_view(Bytes.data() + At, length);
        At += length;
        return text.find('\0') == std::string_view::npos;
    }
    bool AtEnd() const { return At == Bytes.size(); }

private:
    const std::vector<char>& Bytes;
    size_t At = 0;
};

}  // namespace

namespace {

void WriteNames(TWriter& writer, const std::vector<std::string>& names) {
    writer.Number(static_cast<uint32_t>(names.size()));
    for (const std::string& name : names)
        writer.Text(name);
}

bool ReadNames(TReader& reader, std::vector<std::string>& names) {
    uint32_t count = 0;
    if (!reader.Number(count) || count > kMaxPluginNames)
        return false;
    names.resize(count);
    for (std::string& name : names)
        if (!reader.Text(name))
            return false;
    return true;
}

}  // namespace

std::vector<char> EncodeStart(const TStartRequest& start) {
    TWriter writer;
    writer.Text(start.Folder);
    WriteNames(writer, start.Skipped);
    WriteNames(writer, start.GivenCopies);
    writer.Number(start.IdleEndMs);
    writer.Number(start.Inquiry ? 1 : 0);
    return writer.Take();
}

std::optional<TStartRequest> DecodeStart(const std::vector<char>& payload) {
    TReader reader(payload);
    TStartRequest start;
    uint32_t inquiry = 0;
    if (!reader.Text(start.Folder) || !ReadNames(reader, start.Skipped) || !ReadNames(reader, start.GivenCopies) ||
        !reader.Number(start.IdleEndMs) || !reader.Number(inquiry) || inquiry > 1)
        return std::nullopt;
    start.Inquiry = inquiry == 1;
    return reader.AtEnd() ? std::optional(std::move(start)) : std::nullopt;
}

std::vector<char> EncodeExtract(const TExtractRequest& request) {
    TWriter writer;
    writer.Text(request.Source);
    writer.Text(request.Destination);
    writer.Number(request.FirstHandOver);
    writer.Number((request.Afresh ? 1 : 0) | (request.List ? 2 : 0));
    writer.Wide(request.Section);
    writer.Wide(request.Serial);
    if (request.Section || request.Serial) {
        writer.Number(request.Size);
        writer.Crossing(request.Level);
    }
    return writer.Take();
}

std::optional<TExtractRequest> DecodeExtract(const std::vector<char>& payload) {
    TReader reader(payload);
    TExtractRequest request;
    uint32_t flags = 0;
    if (!reader.Text(request.Source) || !reader.Text(request.Destination) || !reader.Number(request.FirstHandOver) ||
        !reader.Number(flags) || flags > 3 || !reader.Wide(request.Section) || !reader.Wide(request.Serial))
        return std::nullopt;
    request.Afresh = flags & 1;
    request.List = flags & 2;
    if ((request.Section || request.Serial) && (!reader.Number(request.Size) || !reader.Crossing(request.Level)))
        return std::nullopt;
    return reader.AtEnd() ? std::optional(std::move(request)) : std::nullopt;
}

std::vector<char> EncodeHandOver(const THandOver& handOver) {
    TWriter writer;
    writer.Wide(handOver.Section);
    writer.Wide(handOver.Serial);
    writer.Number(handOver.Size);
    writer.Crossing(handOver.Level);
    writer.Text(std::string(CutAtCharacter(handOver.Skipped, kMaxOutcomeText)));
    return writer.Take();
}

std::optional<THandOver> DecodeHandOver(const std::vector<char>& payload) {
    TReader reader(payload);
    THandOver handOver;
    if (!reader.Wide(handOver.Section) || !reader.Wide(handOver.Serial) || !reader.Number(handOver.Size) || !reader.Crossing(handOver.Level) ||
        !reader.Text(handOver.Skipped) || !reader.AtEnd())
        return std::nullopt;
    return handOver;
}

std::vector<char> EncodeOutcome(const TExtractOutcome& outcome, const std::vector<std::string>& givenCopies) {
    TWriter writer;
    const TFailure& failure = outcome.Failure;
    writer.Number(static_cast<uint32_t>(failure.Kind));
    writer.Number(static_cast<uint32_t>(failure.PluginCode));
    writer.Number(failure.Win32Error);
    for (const std::string* text : {&failure.Plugin, &failure.File, &failure.Skipped, &outcome.Component,
                                    &outcome.Container})
        writer.Text(std::string(CutAtCharacter(*text, kMaxOutcomeText)));
    WriteNames(writer, givenCopies);
    return writer.Take();
}

std::optional<TExtractOutcome> DecodeOutcome(const std::vector<char>& payload, std::vector<std::string>* givenCopies) {
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
    std::vector<std::string> names;
    if (!ReadNames(reader, names) || !reader.AtEnd())
        return std::nullopt;
    if (givenCopies)
        *givenCopies = std::move(names);
    return outcome;
}

std::vector<char> EncodeQuestion(const TPluginQuestion& question) {
    TWriter writer;
    writer.Text(question.FileName);
    writer.Wide(question.Owner);
    return writer.Take();
}

std::optional<TPluginQuestion> DecodeQuestion(const std::vector<char>& payload) {
    TReader reader(payload);
    TPluginQuestion question;
    if (!reader.Text(question.FileName) || !reader.Wide(question.Owner) || !reader.AtEnd())
        return std::nullopt;
    return question;
}

std::vector<char> EncodeFacts(const TPluginFacts& facts) {
    TWriter writer;
    writer.Number(static_cast<uint32_t>(facts.Kind));
    writer.Number(facts.LoadError);
    writer.Number((facts.HasInfo ? 1 : 0) | (facts.HasIsSupported ? 2 : 0) | (facts.HasSettings ? 4 : 0));
    // A plug-in's texts are its own: each is cut to what a message may hold.
    writer.Text(std::string(CutAtCharacter(facts.Type, kMaxOutcomeText)));
    writer.Text(std::string(CutAtCharacter(facts.Version, kMaxOutcomeText)));
    std::vector<std::string> formats;
    for (const TFileFormat& format : facts.Formats) {
        formats.push_back(std::string(CutAtCharacter(format.Pattern, kMaxFormatText)));
        formats.push_back(std::string(CutAtCharacter(format.Description, kMaxFormatText)));
    }
    WriteNames(writer, formats);
    return writer.Take();
}

std::optional<TPluginFacts> DecodeFacts(const std::vector<char>& payload) {
    TReader reader(payload);
    TPluginFacts facts;
    uint32_t kind = 0;
    uint32_t error = 0;
    uint32_t has = 0;
    std::vector<std::string> formats;
    if (!reader.Number(kind) || kind > static_cast<uint32_t>(TPluginKind::kNotLoadable) || !reader.Number(error) ||
        !reader.Number(has) || has > 7 || !reader.Text(facts.Type) ||
        !reader.Text(facts.Version) || !ReadNames(reader, formats) || formats.size() % 2 != 0 || !reader.AtEnd())
        return std::nullopt;
    facts.Kind = static_cast<TPluginKind>(kind);
    facts.LoadError = error;
    facts.HasInfo = has & 1;
    facts.HasIsSupported = has & 2;
    facts.HasSettings = has & 4;
    for (size_t i = 0; i < formats.size(); i += 2)
        facts.Formats.push_back({std::move(formats[i]), std::move(formats[i + 1])});
    return facts;
}

// A piece: 1 for the first, which names the plug-in, else 0; the count of its members; the plug-in's
// name in the first; then per member its name, its size and its time (as 64 bits).
namespace {

constexpr size_t kPieceCountAt = 4;

void CountOneMore(std::vector<char>& piece) {
    uint32_t count = 0;
    std::memcpy(&count, piece.data() + kPieceCountAt, sizeof count);
    ++count;
    std::memcpy(piece.data() + kPieceCountAt, &count, sizeof count);
}

// A new piece, made at its full size once: 1 for the first, else 0, then its count.
std::vector<char>& StartPiece(std::vector<std::vector<char>>& pieces, size_t bytes, bool first) {
    std::vector<char>& piece = pieces.emplace_back();
    piece.reserve(bytes);
    TWriter writer(piece);
    writer.Number(first ? 1 : 0);
    writer.Number(0);
    return piece;
}

}  // namespace

void TListingPieces::Begin(const std::string& plugin) {
    Pieces.clear();
    TWriter(StartPiece(Pieces, PieceBytes, true)).Text(plugin);
}

void TListingPieces::Add(std::string_view name, uint64_t size, int64_t time) {
    if (Pieces.empty() || name.size() > kMaxText || name.find('\0') != std::string_view::npos)
        return;
    // Written on at the piece's end: a listing's members are many.
    std::vector<char>& piece =
        Pieces.back().size() + 4 + name.size() + 16 > PieceBytes ? StartPiece(Pieces, PieceBytes, false) : Pieces.back();
    TWriter writer(piece);
    writer.Text(name);
    writer.Wide(size);
    writer.Wide(static_cast<uint64_t>(time));
    CountOneMore(piece);
}

bool ReadListingPiece(const std::vector<char>& piece, TListingSink& sink) {
    // Read twice, in place: checked whole first, so that a broken piece gives nothing.
    for (const bool giving : {false, true}) {
        TReader reader(piece);
        uint32_t first = 0;
        uint32_t count = 0;
        std::string plugin;
        if (!reader.Number(first) || first > 1 || !reader.Number(count) || (first && !reader.Text(plugin)))
            return false;
        if (giving && first)
            sink.Begin(plugin);
        for (uint32_t i = 0; i < count; ++i) {
            std::string_view name;
            uint64_t size = 0;
            uint64_t time = 0;
            if (!reader.View(name) || !reader.Wide(size) || !reader.Wide(time))
                return false;
            if (giving)
                sink.Add(name, size, static_cast<int64_t>(time));
        }
        if (!reader.AtEnd())
            return false;
    }
    return true;
}
