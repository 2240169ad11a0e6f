#include "handoff/Sender.h"

#include <windows.h>

#include "base/Owned.h"
#include "handoff/BlockWriter.h"
#include "handoff/Channel.h"
#include "handoff/Section.h"

namespace {

template <typename TChar>
void Send(std::basic_string_view<TChar> folder,
          const std::vector<std::basic_string<TChar>>& paths,
          DWORD turnWaitMs) noexcept {
    try {
        const std::optional<uint32_t> size = HandOffBlockSize(folder, paths);
        if (!size)
            return;
        UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, kSenderMutexName));
        if (!mutex)
            return;
        const MutexLock turn(mutex.Get(), turnWaitMs);
        if (!turn)
            return;
        const std::string name = SectionName(kHandOffId);
        UniqueHandle section(
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, *size + 1, name.c_str()));
        // An existing section is someone else's, of a size we do not know.
        if (!section || ::GetLastError() == ERROR_ALREADY_EXISTS)
            return;
        {
            UniqueWritableView view(::MapViewOfFile(section.Get(), FILE_MAP_WRITE, 0, 0, 0));
            if (!view || !WriteHandOffBlock(static_cast<char*>(view.Get()), MappedSize(view.Get()), folder, paths))
                return;
        }
        const UINT message = RegisterHandOffMessage();
        if (HWND receiver = message ? FindReceiver() : nullptr) {
            DWORD_PTR result = 0;
            ::SendMessageTimeoutA(receiver, message, kHandOffId, 0, SMTO_NORMAL, kAnswerWaitMs, &result);
        }
        // The section lives until here, so it exists for as long as the receiver handles the message.
    } catch (...) {
    }
}

}  // namespace

void SendHandOff(std::string_view folder, const std::vector<std::string>& paths, DWORD turnWaitMs) noexcept {
    Send(folder, paths, turnWaitMs);
}

void SendHandOff(std::wstring_view folder, const std::vector<std::wstring>& paths, DWORD turnWaitMs) noexcept {
    Send(folder, paths, turnWaitMs);
}
