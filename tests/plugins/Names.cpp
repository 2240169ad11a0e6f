#include "tests/plugins/Readers.h"

#include <algorithm>
#include <cstring>

#include "base/PathText.h"

namespace kvspi {
namespace {

constexpr size_t kNameField = sizeof(fileInfo::path);

char FoldAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Empty when the bytes are no valid UTF-8.
std::wstring FromUtf8(std::string_view text) {
    const int count =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(std::max(count, 0), L'\0');
    if (count > 0)
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), wide.data(),
                              count);
    return wide;
}

char hangulStray = 0;

bool IsHangul(wchar_t c) {
    return c >= 0xAC00 && c <= 0xD7A3;
}

std::string ToAnsi(std::wstring_view wide) {
    const int count =
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string ansi(std::max(count, 0), '\0');
    if (count > 0)
        ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), ansi.data(), count, nullptr,
                              nullptr);
    return ansi;
}

// With a stray byte set, each Hangul syllable becomes "_" and that byte; the rest converts as usual.
std::string ToAnsiWithStray(const std::wstring& wide) {
    if (!hangulStray)
        return ToAnsi(wide);
    std::string ansi;
    size_t run = 0;
    for (size_t i = 0; i <= wide.size(); ++i) {
        if (i < wide.size() && !IsHangul(wide[i]))
            continue;
        ansi += ToAnsi(std::wstring_view(wide).substr(run, i - run));
        if (i < wide.size())
            ansi += {'_', hangulStray};
        run = i + 1;
    }
    return ansi;
}

// "./a.txt" and "/a.txt" are the member a.txt.
template <typename Char>
std::basic_string<Char> WithoutLeading(const std::basic_string<Char>& name, Char separator) {
    const std::basic_string<Char> dot{Char('.'), separator};
    size_t start = 0;
    while (true) {
        if (start < name.size() && name[start] == separator)
            start += 1;
        else if (name.compare(start, 2, dot) == 0)
            start += 2;
        else
            break;
    }
    return name.substr(start);
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

}  // namespace

std::string MemberName(std::string_view raw, bool slashes) {
    raw = raw.substr(0, raw.find('\0'));
    std::string name(raw);
    // Names flagged as UTF-8 and names that merely are UTF-8 (Linux tools write the locale's UTF-8 unflagged)
    // are treated alike; anything else is taken to be ANSI already.
    if (!IsAscii(raw)) {
        if (const std::wstring wide = FromUtf8(raw); !wide.empty())
            name = ToAnsiWithStray(wide);
    }
    const char separator = slashes ? '/' : '\\';
    if (!slashes)
        name = WithSeparator(name, separator, TTextForm::kAnsi);
    return WithoutLeading(name, separator);
}

std::wstring WideMemberName(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    std::wstring wide = FromUtf8(raw);
    if (wide.empty() && !raw.empty()) {
        wide.resize(raw.size());
        wide.resize(std::max(::MultiByteToWideChar(CP_ACP, 0, raw.data(), static_cast<int>(raw.size()), wide.data(),
                                                   static_cast<int>(wide.size())),
                             0));
    }
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return WithoutLeading(wide, L'\\');
}

void SetHangulStray(char stray) {
    hangulStray = stray;
}

bool MatchMember(const std::string& name, const Query& query, fileInfo* info, bool* exact) {
    size_t split = 0;  // just after the last separator
    for (size_t i = 0; i < name.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(name[i])))
            ++i;
        else if (name[i] == '\\')
            split = i + 1;
    }
    // The query is compared from where the compared part of the name starts.
    const size_t from = query.nameOnly ? split : 0;
    const char* wanted = query.all ? name.c_str() + from : query.memberPath;
    bool sameCase = true;
    for (size_t i = from; i < name.size(); ++i, ++wanted) {
        if (*wanted == '\0')
            return false;
        if (::IsDBCSLeadByte(static_cast<BYTE>(name[i])) && i + 1 < name.size()) {
            // Both bytes of a double-byte character compare exactly.
            if (wanted[0] != name[i] || wanted[1] != name[i + 1])
                return false;
            ++i;
            ++wanted;
            continue;
        }
        const bool same = query.ignoreCase ? FoldAscii(*wanted) == FoldAscii(name[i]) : *wanted == name[i];
        if (!same)
            return false;
        sameCase = sameCase && *wanted == name[i];
    }
    if (*wanted != '\0' || split == name.size())
        return false;  // longer query, or a directory
    // Member paths know no limit, the record's fields do: as plug-ins for such formats do, a folder or
    // name too long for its field is recorded cut, on a character.
    const std::string_view folder = CutAtCharacter(std::string_view(name).substr(0, split), kNameField - 1, TTextForm::kAnsi);
    const std::string_view file = CutAtCharacter(std::string_view(name).substr(split), kNameField - 1, TTextForm::kAnsi);
    info->path[folder.copy(info->path, folder.size())] = '\0';
    info->filename[file.copy(info->filename, file.size())] = '\0';
    if (exact)
        *exact = sameCase;
    return true;
}

bool Finding::Take(const fileInfo& info, bool exact) {
    if (exact)
        return true;
    if (!folded_)
        folded_ = info;
    return false;
}

bool Finding::Give(fileInfo* info) const {
    if (folded_)
        *info = *folded_;
    return folded_.has_value();
}

void SetMethod(fileInfo* info, const char* method) {
    const size_t length = std::min(std::strlen(method), sizeof(info->method) - 1);
    std::memset(info->method, 0, sizeof(info->method));
    std::memcpy(info->method, method, length);
}

}  // namespace kvspi
