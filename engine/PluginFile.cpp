#include "engine/PluginFile.h"

#include <cwchar>

#include "base/PathText.h"
#include "base/ProcAddress.h"
#include "base/SystemPath.h"
#include "base/WideText.h"
#include "engine/SpiTypes.h"

namespace {

constexpr char kArchivePluginType[] = "00AM";
constexpr int kTypeBufferLength = 5;
constexpr int kTextBufferLength = 256;
// A plug-in that never answers 0 must not hang the load.
constexpr int kMaxFileTypeTexts = 100;

// GetPluginInfo's texts; a plug-in with only GetPluginInfoW gives them through that.
class TInfoTexts {
public:
    explicit TInfoTexts(HMODULE module)
        : Ansi(ProcAddress<GetPluginInfoFunc>(module, "GetPluginInfo")),
          Wide(Ansi ? nullptr : ProcAddress<GetPluginInfoWFunc>(module, "GetPluginInfoW")) {}

    bool Exists() const { return Ansi || Wide; }
    // False when the plug-in has no text of that number.
    bool Text(int infoNumber, int bufferLength, std::string& text) const {
        if (Ansi) {
            std::string buffer(bufferLength + 1, '\0');
            if (Ansi(infoNumber, buffer.data(), bufferLength) == 0)
                return false;
            // In UTF-8 as every text inside; one that is no valid text is left empty rather than shown wrong.
            if (!Utf8FromAnsi(FieldText(buffer.data(), bufferLength), text))
                text.clear();
            return true;
        }
        std::wstring buffer(bufferLength + 1, L'\0');
        if (Wide(infoNumber, buffer.data(), bufferLength) == 0)
            return false;
        buffer.resize(::wcsnlen(buffer.data(), bufferLength));
        if (!ExactUtf8(buffer, text))
            text.clear();
        return true;
    }

private:
    GetPluginInfoFunc Ansi;
    GetPluginInfoWFunc Wide;
};

std::vector<TFileFormat> FileFormats(const TInfoTexts& texts, bool described) {
    std::vector<TFileFormat> formats;
    TFileFormat format;
    for (int n = 0; n < kMaxFileTypeTexts && texts.Text(2 + 2 * n, kTextBufferLength, format.Pattern); ++n) {
        if (!described || !texts.Text(3 + 2 * n, kTextBufferLength, format.Description))
            format.Description.clear();
        formats.push_back(std::move(format));
    }
    return formats;
}

}  // namespace

TPluginFile::TPluginFile(const std::string& path, TPluginTexts asked) : Module_(::LoadLibraryW(SystemPath(path).c_str())) {
    if (!Module_) {
        Facts_.LoadError = ::GetLastError();
        return;
    }
    Facts_.Kind = TPluginKind::kNotArchive;
    // Each entry point is looked up by itself: some plug-ins have the wide ones without GetPluginInfoW.
    const TInfoTexts texts(Module_.Get());
    Facts_.HasInfo = texts.Exists();
    Facts_.HasIsSupported = ProcAddress<IsSupportedFunc>(Module_.Get(), "IsSupported") ||
                            ProcAddress<IsSupportedWFunc>(Module_.Get(), "IsSupportedW");
    Facts_.HasSettings = ProcAddress<ConfigurationDlgFunc>(Module_.Get(), "ConfigurationDlg") != nullptr;
    if (!Facts_.HasInfo || !texts.Text(0, kTypeBufferLength, Facts_.Type) || Facts_.Type != kArchivePluginType)
        return;
    const bool all = asked == TPluginTexts::kAll;
    if (all && !texts.Text(1, kTextBufferLength, Facts_.Version))
        Facts_.Version.clear();
    Facts_.Formats = FileFormats(texts, all);
    if (Facts_.HasIsSupported)
        Facts_.Kind = TPluginKind::kArchive;
}

int PluginNameBits(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : fileName.substr(dot);
    return SameName(extension, ".spi") ? 32 : SameName(extension, ".sph") ? 64 : 0;
}

std::string JoinedPatterns(const std::vector<TFileFormat>& formats) {
    std::string joined;
    for (const TFileFormat& format : formats)
        joined += (joined.empty() ? "" : ";") + format.Pattern;
    return joined;
}

int PluginBits(const std::string& path) {
    UniqueHandle file(::CreateFileW(SystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    IMAGE_DOS_HEADER dos = {};
    DWORD read = 0;
    if (!file || !::ReadFile(file.Get(), &dos, sizeof dos, &read, nullptr) || read != sizeof dos ||
        dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return 0;
    struct {
        DWORD Signature;
        IMAGE_FILE_HEADER File;
    } nt = {};
    LARGE_INTEGER at;
    at.QuadPart = dos.e_lfanew;
    if (!::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.Get(), &nt, sizeof nt, &read, nullptr) || read != sizeof nt ||
        nt.Signature != IMAGE_NT_SIGNATURE)
        return 0;
    switch (nt.File.Machine) {
        case IMAGE_FILE_MACHINE_I386:
            return 32;
        case IMAGE_FILE_MACHINE_AMD64:
        case IMAGE_FILE_MACHINE_ARM64:
            return 64;
        default:
            return 0;
    }
}
