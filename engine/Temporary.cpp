#include "engine/Temporary.h"

#include <bcrypt.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "base/PathText.h"
#include "base/SystemPath.h"
#include "base/WideText.h"

namespace {

std::string Prefix(DWORD processId, const std::string& token) {
    return "~kv" + std::to_string(processId) + "-" + token + "-";
}

std::string& Token() {
    static std::string token = NewTemporaryToken();
    return token;
}

// Counts on from a start that differs between runs, so a name left by a dead process of the same
// id is stepped over quickly.
std::string NextName(const std::string& folder, const std::string& suffix) {
    static std::atomic<uint32_t> counter{::GetTickCount()};
    return FolderWithSeparator(folder) + Prefix(::GetCurrentProcessId(), TemporaryToken()) +
           std::to_string(counter++ & 0xFFFFFF) + suffix;
}

constexpr int kMaxNameTries = 100;

bool Taken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// A file's last name goes without a change of its attributes, which every other link of the file
// shares: a read-only file is deleted by a disposition that ignores the flag (Windows 10 1809 and
// later). False when the name stays.
bool DeleteLeavingAttributes(const std::wstring& path) {
    if (::DeleteFileW(path.c_str()) || ::GetLastError() != ERROR_ACCESS_DENIED)
        return ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
    constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);  // Windows 10 headers only
    constexpr DWORD kDelete = 0x1, kPosixSemantics = 0x2, kIgnoreReadOnly = 0x10;
    struct {
        DWORD Flags;
    } disposition{kDelete | kPosixSemantics | kIgnoreReadOnly};
    const UniqueHandle file(::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && ::SetFileInformationByHandle(file.Get(), kDispositionInfoEx, &disposition, sizeof disposition);
}

// Whether the file has a name beside this one: then its attributes are somebody else's too.
bool HasOtherLinks(const std::wstring& path) {
    const UniqueHandle file(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION information;
    return !file || !::GetFileInformationByHandle(file.Get(), &information) || information.nNumberOfLinks != 1;
}

void RemoveTree(const std::string& path) {
    const std::wstring system = SystemPath(path);
    const DWORD attributes = ::GetFileAttributesW(system.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    // A link to elsewhere is removed, never followed.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found;
        UniqueFind search(::FindFirstFileW(SystemPath(path + "\\*").c_str(), &found));
        if (search) {
            do {
                const std::wstring_view name = found.cFileName;
                std::string utf8;
                if (name != L"." && name != L".." && ExactUtf8(name, utf8))
                    RemoveTree(path + "\\" + utf8);
            } while (::FindNextFileW(search.Get(), &found));
        }
        ::RemoveDirectoryW(system.c_str());
        return;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        ::RemoveDirectoryW(system.c_str());
        return;
    }
    // A read-only file that is only ours (a plug-in's output, a copy) may be made writable to go; a
    // link to a user's file never is: it would change the user's file.
    if (DeleteLeavingAttributes(system) || !(attributes & FILE_ATTRIBUTE_READONLY) || HasOtherLinks(system))
        return;
    ::SetFileAttributesW(system.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    ::DeleteFileW(system.c_str());
}

std::string ExtensionOf(const std::string& name) {
    const size_t mark = FindLastSeparator(name, "\\.");
    return mark != std::string::npos && name[mark] == '.' ? name.substr(mark) : std::string();
}

// Whether a search of folder that found none of the names means that none is there: the folder was
// read, or is gone for good. A folder that does not answer (a network drive not yet connected, access
// denied) may still hold them, and so may one that is missing along with its drive (a disk
// unplugged) or under a link (a volume mounted there): only one missing below a plain folder that is
// there is gone.
bool NoneThere(std::string folder, DWORD error) {
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES)
        return false;
    for (bool itself = true;; itself = false) {
        const DWORD attributes = ::GetFileAttributesW(SystemPath(folder).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return (itself && error != ERROR_PATH_NOT_FOUND) ||
                   (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY;
        const DWORD missing = ::GetLastError();
        std::string parent = FolderOf(folder);
        // A drive's root, a share's server and a relative path's start have nothing above to ask.
        if ((missing != ERROR_FILE_NOT_FOUND && missing != ERROR_PATH_NOT_FOUND) || parent.size() >= folder.size() ||
            parent == "\\" || parent == ".")
            return false;
        folder = std::move(parent);
    }
}

// The user's entry of the process's token, its SID within.
union TUserToken {
    TOKEN_USER User;
    BYTE Bytes[256];
};

bool ReadUserToken(TUserToken& user) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    const UniqueHandle owned(token);
    DWORD size = 0;
    return ::GetTokenInformation(token, TokenUser, &user, sizeof user, &size);
}

// Whether the folder is the user's own: a folder someone else made first could be read by its maker.
bool OwnedByUser(HANDLE folder) {
    TUserToken user{};
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ReadUserToken(user) || ::GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                                  nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool own = ::EqualSid(owner, user.User.User.Sid);
    ::LocalFree(descriptor);
    return own;
}

// The user's security identifier as text, "S-1-5-21-…", all ASCII.
std::wstring UserSidText() {
    TUserToken user{};
    wchar_t* text = nullptr;
    if (!ReadUserToken(user) || !::ConvertSidToStringSidW(user.User.User.Sid, &text))
        return {};
    std::wstring sid(text);
    ::LocalFree(text);
    return sid;
}

}  // namespace

UniqueHandle HoldPlainFolder(const std::string& folder, bool ownedByUser) {
    const std::wstring path = SystemPath(folder);
    UniqueHandle held(::CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    // The name is asked too: Wine opens what a link points to even when asked for the link itself.
    constexpr DWORD kKind = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    BY_HANDLE_FILE_INFORMATION information{};
    const DWORD attributes = held ? ::GetFileAttributesW(path.c_str()) : INVALID_FILE_ATTRIBUTES;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & kKind) != FILE_ATTRIBUTE_DIRECTORY ||
        !::GetFileInformationByHandle(held.Get(), &information) ||
        (information.dwFileAttributes & kKind) != FILE_ATTRIBUTE_DIRECTORY || (ownedByUser && !OwnedByUser(held.Get())))
        return {};
    return held;
}

std::string OwnTemporaryFolderPath() {
    wchar_t data[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", data, MAX_PATH + 1);
    std::string base;
    std::string ansi;
    std::string sid;
    if (length == 0 || length > MAX_PATH || !ExactUtf8(std::wstring_view(data, length), base) ||
        !AnsiFromUtf8(base, ansi) || !ExactUtf8(UserSidText(), sid) || sid.empty())
        return {};
    return base + "\\Kelvane\\" + sid;
}

// Its list of access is not inherited, and names only that user and the system. One that is there
// already must be a plain folder of the user's: through a link another user made, the copies would
// go wherever that user likes.
std::string OwnTemporaryFolder() {
    const std::string path = OwnTemporaryFolderPath();
    const std::wstring sid = UserSidText();
    if (path.empty() || sid.empty())
        return {};
    ::CreateDirectoryW(SystemPath(FolderOf(path)).c_str(), nullptr);
    const std::wstring rules = L"D:P(A;OICI;FA;;;" + sid + L")(A;OICI;FA;;;SY)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(rules.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return {};
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    bool made = ::CreateDirectoryW(SystemPath(path).c_str(), &security);
    if (!made && ::GetLastError() == ERROR_ALREADY_EXISTS)
        made = static_cast<bool>(HoldPlainFolder(path, true));
    ::LocalFree(descriptor);
    return made ? path + "\\" : std::string();
}

namespace {

// The user's temporary folder as ANSI plug-ins can open files in it: its own name, or its short name,
// when that converts exactly. A user named outside the code page may have neither: then a folder of
// ours named in ASCII, under ProgramData, which only the user may enter.
std::string AnsiUsableTemporaryFolder() {
    wchar_t folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
    std::string utf8;
    std::string ansi;
    if (length == 0 || length > MAX_PATH || !ExactUtf8(std::wstring_view(folder, length), utf8))
        return ".";
    if (AnsiFromUtf8(utf8, ansi))
        return utf8;
    wchar_t shortName[MAX_PATH + 1] = {};
    const DWORD shortLength = ::GetShortPathNameW(folder, shortName, MAX_PATH + 1);
    std::string shortUtf8;
    if (shortLength > 0 && shortLength <= MAX_PATH && ExactUtf8(std::wstring_view(shortName, shortLength), shortUtf8) &&
        AnsiFromUtf8(shortUtf8, ansi))
        return shortUtf8;
    const std::string own = OwnTemporaryFolder();
    return own.empty() ? utf8 : own;
}

}  // namespace

std::string UserTemporaryFolder() {
    static const std::string folder = AnsiUsableTemporaryFolder();
    return folder;
}

std::string FolderOf(const std::string& path) {
    std::string folder = path;
    std::string name;
    SplitLastComponent(folder, name);
    if (folder.empty())
        return ".";
    // "D:" alone would mean the drive's current folder, not its root.
    if (folder.size() == 2 && folder[1] == ':')
        folder += '\\';
    return folder;
}

TNewFile CreateUniqueFile(const std::string& folder, const std::string& suffix, DWORD attributes, DWORD& error) {
    TNewFile file;
    for (int tries = 0; tries < kMaxNameTries; ++tries) {
        std::string path = NextName(folder, suffix);
        // Readable too: a file may be mapped once written.
        file.Handle.Reset(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes,
                                        nullptr));
        if (file.Handle) {
            file.Path = std::move(path);
            error = ERROR_SUCCESS;
            return file;
        }
        error = ::GetLastError();
        if (!Taken(error))
            break;
    }
    return file;
}

std::string NewTemporaryToken() {
    uint32_t value = 0;
    if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&value), sizeof value,
                                          BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        value = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

bool IsTemporaryToken(const std::string& text) {
    return text.size() == 8 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

bool IsTemporaryName(const std::string& name, DWORD& processId, std::string& token) {
    const size_t idEnd = name.find_first_not_of("0123456789", 3);
    if (name.compare(0, 3, "~kv") != 0 || idEnd == 3 || idEnd > 13 || idEnd == std::string::npos ||
        name[idEnd] != '-' || name.size() <= idEnd + 9 || name[idEnd + 9] != '-')
        return false;
    const unsigned long long id = std::strtoull(name.c_str() + 3, nullptr, 10);
    token = name.substr(idEnd + 1, 8);
    if (id == 0 || id > 0xFFFFFFFFu || !IsTemporaryToken(token))
        return false;
    processId = static_cast<DWORD>(id);
    return true;
}

const std::string& TemporaryToken() {
    return Token();
}

void SetTemporaryToken(const std::string& token) {
    Token() = token;
}

bool RemoveTemporariesOf(const std::string& folder, DWORD processId, const std::string& token) {
    const std::string base = FolderWithSeparator(folder);
    const std::string pattern = base + Prefix(processId, token) + "*";
    WIN32_FIND_DATAW found;
    {
        UniqueFind search(::FindFirstFileW(SystemPath(pattern).c_str(), &found));
        if (!search)
            return NoneThere(folder, ::GetLastError());
        do {
            std::string name;
            if (ExactUtf8(found.cFileName, name))
                RemoveTree(base + name);
        } while (::FindNextFileW(search.Get(), &found));
    }
    UniqueFind left(::FindFirstFileW(SystemPath(pattern).c_str(), &found));
    return !left && NoneThere(folder, ::GetLastError());
}

TTemporaryCopy::~TTemporaryCopy() {
    if (!Path_.empty())
        DeleteLeavingAttributes(SystemPath(Path_));
}

DWORD TTemporaryCopy::Create(const void* data, uint32_t size, const std::string& likeName) {
    DWORD error = ERROR_SUCCESS;
    TNewFile file = CreateUniqueFile(UserTemporaryFolder(), ExtensionOf(likeName), FILE_ATTRIBUTE_TEMPORARY, error);
    if (!file.Handle)
        return error;
    Path_ = std::move(file.Path);
    DWORD written = 0;
    if (!::WriteFile(file.Handle.Get(), data, size, &written, nullptr) || written != size)
        return ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

DWORD TTemporaryCopy::Link(const std::string& file) {
    const std::wstring target = SystemPath(file);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError();
    // A link shares the file's attributes: a read-only file's link could not go again without making
    // the user's file writable, and older Windows has no other way. Such a file gets a copy.
    const bool mayLink = !(attributes & FILE_ATTRIBUTE_READONLY);
    DWORD error = ERROR_FILE_EXISTS;
    for (int tries = 0; tries < kMaxNameTries && Taken(error); ++tries) {
        std::string path = NextName(UserTemporaryFolder(), ExtensionOf(file));
        const std::wstring link = SystemPath(path);
        // A link costs nothing whatever the size; another volume, or a file system without links,
        // gets a copy, made writable at once so that it goes as any file of ours.
        Linked = mayLink && ::CreateHardLinkW(link.c_str(), target.c_str(), nullptr);
        if (Linked || ::CopyFileW(target.c_str(), link.c_str(), TRUE)) {
            Path_ = std::move(path);
            if (!Linked)
                ::SetFileAttributesW(link.c_str(), (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_TEMPORARY);
            return ERROR_SUCCESS;
        }
        error = ::GetLastError();
    }
    return error;
}

HANDLE TLevelFile::Write(const void* data, uint32_t size, uint32_t minSize, DWORD& error) {
    // The token tells processes apart (the resident program gives each host its own), the count levels.
    static uint32_t written = 0;
    BytesSerial = 0;
    if (!File) {
        TNewFile file = CreateUniqueFile(UserTemporaryFolder(), ".tmp",
                                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, error);
        if (!file.Handle)
            return nullptr;
        File = std::move(file.Handle);
    }
    // The bytes, then zeros up to minSize, over whatever the last level left.
    const std::string zeros(minSize > size ? minSize - size : 0, '\0');
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(File.Get(), start, nullptr, FILE_BEGIN) || !WriteAll(data, size) ||
        !WriteAll(zeros.data(), static_cast<uint32_t>(zeros.size()))) {
        error = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
        return nullptr;
    }
    // A section is as long as the file was when it was made: a longer level needs a new one.
    const uint64_t needed = std::max(size, minSize);
    if (needed > SectionBytes) {
        Section.Reset(::CreateFileMappingW(File.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        SectionBytes = Section ? needed : 0;
    }
    error = Section ? ERROR_SUCCESS : ::GetLastError();
    if (Section)
        BytesSerial = uint64_t{std::strtoul(TemporaryToken().c_str(), nullptr, 16)} << 32 | ++written;
    return Section.Get();
}

bool TLevelFile::WriteAll(const void* data, uint32_t size) {
    constexpr uint32_t kChunk = 4u << 20;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (uint32_t at = 0; at < size;) {
        DWORD written = 0;
        if (!::WriteFile(File.Get(), bytes + at, std::min(kChunk, size - at), &written, nullptr) || !written)
            return false;
        at += written;
    }
    return true;
}

void TLevelFile::Release() noexcept {
    BytesSerial = 0;
    Section.Reset();
    SectionBytes = 0;
    File.Reset();
}

TTemporaryFolder::~TTemporaryFolder() {
    if (!Path_.empty())
        RemoveTree(Path_);
}

DWORD TTemporaryFolder::Create(const std::string& parent) {
    for (int tries = 0; tries < kMaxNameTries; ++tries) {
        std::string path = NextName(parent, ".tmp");
        if (::CreateDirectoryW(SystemPath(path).c_str(), nullptr)) {
            Path_ = std::move(path);
            return ERROR_SUCCESS;
        }
        const DWORD error = ::GetLastError();
        if (!Taken(error))
            return error;
    }
    return ERROR_FILE_EXISTS;
}
