#include "host/LevelHandOver.h"

#include <algorithm>

#include "base/ChildProcess.h"
#include "engine/Archive.h"
#include "engine/PluginList.h"

bool TSectionHandOver::Take(const TCrossing& level, const unsigned char* image, uint32_t size) {
    UniqueHandle section;
    if (image) {
        DWORD error = 0;
        HANDLE written = File.Write(image, size, TArchive::kHeadSize, error);
        HANDLE copy = nullptr;
        if (written && !::DuplicateHandle(::GetCurrentProcess(), written, ::GetCurrentProcess(), &copy, 0, FALSE,
                                          DUPLICATE_SAME_ACCESS))
            error = ::GetLastError();
        section.Reset(copy);
        if (!section) {
            Failure.Kind = TFailureKind::kCannotWrite;
            Failure.Win32Error = error;
            Failure.File = UserTemporaryFolder();
            return false;
        }
    }
    Message = EncodeHandOver({reinterpret_cast<uintptr_t>(section.Get()), size, level, Plugins.SkippedText()});
    if (Message.empty()) {
        Failure.Kind = TFailureKind::kPathTooLong;
        return false;
    }
    Section = std::move(section);
    return true;
}

bool TSectionHandOver::SendTo(TChannelEnd& channel) {
    if (!channel.Send(TMessageKind::kHandOver, Message))
        return false;
    Section.Release();
    return true;
}

std::optional<TCrossingIn> HandedLevel(const TExtractRequest& request) {
    TCrossingIn level{request.Level, {}, request.Size};
    UniqueHandle section(HandleOfValue(request.Section));
    const DWORD bytes = std::max(request.Size, TArchive::kHeadSize);
    level.Image.Reset(section ? ::MapViewOfFile(section.Get(), FILE_MAP_COPY, 0, 0, bytes) : nullptr);
    if (!level.Image)
        return std::nullopt;
    return level;
}
