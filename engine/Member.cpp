#include "engine/Member.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <iterator>

#include "base/PathText.h"
#include "base/WideText.h"

namespace {

std::string FromAnsiField(const char* field, size_t size) {
    const std::string_view ansi = FieldText(field, size);
    // ASCII is the same in every code page and in UTF-8; listings are mostly ASCII, and long.
    if (std::all_of(ansi.begin(), ansi.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(ansi);
    std::string utf8;
    if (!Utf8FromAnsi(ansi, utf8))
        ExactUtf8(WideFromAnsi(ansi), utf8);
    return utf8;
}

std::string FromWideField(const WCHAR* field, size_t characters) {
    const std::wstring_view wide(field, ::wcsnlen(field, characters));
    std::string utf8;
    if (!ExactUtf8(wide, utf8)) {
        std::wstring replaced(wide);
        for (wchar_t& unit : replaced)
            if (unit >= 0xD800 && unit <= 0xDFFF)
                unit = 0xFFFD;
        ExactUtf8(replaced, utf8);
    }
    return utf8;
}

}  // namespace

TMember MemberOf(const fileInfo& record) {
    // The record copied once, never zeroed first: listings hold hundreds of thousands.
    return TMember{record, FromAnsiField(record.path, sizeof record.path),
                   FromAnsiField(record.filename, sizeof record.filename)};
}

TMember MemberOf(const fileInfoW& record) {
    TMember member;
    std::memcpy(member.Record.method, record.method, sizeof record.method);
    member.Record.position = record.position;
    member.Record.compsize = record.compsize;
    member.Record.filesize = record.filesize;
    member.Record.timestamp = record.timestamp;
    member.Record.crc = record.crc;
    member.Folder = FromWideField(record.path, std::size(record.path));
    member.FileName = FromWideField(record.filename, std::size(record.filename));
    return member;
}
