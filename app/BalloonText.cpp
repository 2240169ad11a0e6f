#include "app/BalloonText.h"

#include <algorithm>
#include <vector>

#include "app/Dpi.h"
#include "base/Owned.h"

namespace {

constexpr std::wstring_view kEllipsis = L"...";

bool IsLeadSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// A character outside the basic plane takes a pair of units, which stay together.
size_t CharacterSize(std::wstring_view text, size_t at) {
    return at + 1 < text.size() && IsLeadSurrogate(text[at]) ? 2 : 1;
}

// The path with its middle given up for "...", keeping at most `keep` of its units.
std::wstring Shortened(std::wstring_view path, size_t keep) {
    if (keep >= path.size())
        return std::wstring(path);
    size_t head = 0;
    while (head < path.size() && head + CharacterSize(path, head) <= (keep + 1) / 2)
        head += CharacterSize(path, head);
    size_t tail = head;
    while (tail < path.size() && path.size() - tail > keep - head)
        tail += CharacterSize(path, tail);
    return std::wstring(path.substr(0, head)) + std::wstring(kEllipsis) + std::wstring(path.substr(tail));
}

std::wstring Broken(std::wstring_view line, const TMeasureLine& measure, int width) {
    std::wstring out;
    size_t start = 0;
    size_t afterSpace = std::wstring_view::npos;
    size_t at = 0;
    while (at < line.size()) {
        const size_t next = at + CharacterSize(line, at);
        if (at > start && measure(line.substr(start, next - start)) > width) {
            const size_t cut = afterSpace != std::wstring_view::npos && afterSpace > start ? afterSpace : at;
            out.append(line.substr(start, cut - start)).push_back(L'\n');
            start = cut;
            afterSpace = std::wstring_view::npos;
            continue;
        }
        if (line[at] == L' ')
            afterSpace = next;
        at = next;
    }
    return out.append(line.substr(start));
}

std::wstring LaidOut(const std::vector<std::wstring_view>& lines, const std::wstring& source, size_t sourceLine,
                     const TMeasureLine& measure, int width) {
    std::wstring out;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::wstring_view line = i == sourceLine ? std::wstring_view(source) : lines[i];
        if (i > 0)
            out.push_back(L'\n');
        out += measure ? Broken(line, measure, width) : std::wstring(line);
    }
    return out;
}

bool RunsOnWine() {
    return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

// Wine's balloon starts its stem 20 px into the balloon; the frame takes one more.
constexpr int kWineOverhang = 24;

// The message font as the system gives it is for the screen's DPI. The title is bold.
HFONT CreateBalloonFont(int dpi, bool bold) {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return nullptr;
    const int screenDpi = WindowDpi(nullptr);
    metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, dpi, screenDpi);
    if (bold)
        metrics.lfMessageFont.lfWeight = FW_BOLD;
    return ::CreateFontIndirectA(&metrics.lfMessageFont);
}

// The font, selected into a context of the screen to measure with.
class TBalloonFont {
public:
    explicit TBalloonFont(int dpi, bool bold = false) : font_(CreateBalloonFont(dpi, bold)), screen_(nullptr) {
        old_ = ::SelectObject(screen_.Get(), font_.Get());
    }
    TBalloonFont(const TBalloonFont&) = delete;
    TBalloonFont& operator=(const TBalloonFont&) = delete;
    ~TBalloonFont() { ::SelectObject(screen_.Get(), old_); }

    int Width(std::wstring_view line) const {
        SIZE size = {};
        ::GetTextExtentPoint32W(screen_.Get(), line.data(), static_cast<int>(line.size()), &size);
        return size.cx;
    }

private:
    UniqueFont font_;
    WindowDC screen_;
    HGDIOBJ old_;
};

}  // namespace

std::wstring LayOutBalloonText(std::wstring_view text, size_t capacity, const TMeasureLine& measure, int width) {
    std::vector<std::wstring_view> lines;
    for (size_t start = 0;;) {
        const size_t end = text.find(L'\n', start);
        lines.push_back(text.substr(start, end == std::wstring_view::npos ? end : end - start));
        if (end == std::wstring_view::npos)
            break;
        start = end + 1;
    }
    const size_t sourceLine = lines.size() >= 2 ? lines.size() - 2 : std::wstring_view::npos;
    const std::wstring_view source = sourceLine == std::wstring_view::npos ? std::wstring_view() : lines[sourceLine];
    for (size_t keep = source.size();;) {
        std::wstring out = LaidOut(lines, Shortened(source, keep), sourceLine, measure, width);
        if (out.size() < capacity || keep == 0)
            return out;
        // Breaks move with the text: give up what is too much and measure again.
        const size_t over = out.size() - capacity + 1 + kEllipsis.size();
        keep = keep > over ? keep - over : 0;
    }
}

int BalloonLineWidth(std::wstring_view line, int dpi) {
    return TBalloonFont(dpi).Width(line);
}

std::wstring BalloonText(std::wstring_view text, size_t capacity, int dpi) {
    if (!RunsOnWine())
        return LayOutBalloonText(text, capacity, nullptr, 0);
    const TBalloonFont font(dpi);
    return LayOutBalloonText(text, capacity, [&font](std::wstring_view line) { return font.Width(line); },
                             Scaled(kBalloonWidth, dpi));
}

std::wstring BalloonTitle(std::wstring_view title, std::wstring_view text, size_t capacity, int dpi) {
    std::wstring out(title);
    if (!RunsOnWine())
        return out;
    const TBalloonFont font(dpi);
    int widest = 0;
    for (size_t start = 0; start <= text.size();) {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        widest = std::max(widest, font.Width(text.substr(start, end - start)));
        start = end + 1;
    }
    constexpr std::wstring_view kWideSpace = L"\u3000";
    const TBalloonFont titleFont(dpi, true);
    while (titleFont.Width(out) < widest + Scaled(kWineOverhang, dpi) && out.size() + kWideSpace.size() < capacity)
        out += kWideSpace;
    return out;
}
