#include "base/ChildProcess.h"

#include <memory>
#include <mutex>

#include "base/WideText.h"

namespace {

std::mutex inheritanceWindow;

// Marks handles inheritable for as long as it lives.
class TInheritable {
public:
    explicit TInheritable(const std::vector<HANDLE>& handles) : Handles(handles) {
        for (HANDLE handle : Handles)
            Marked = Marked && ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    ~TInheritable() {
        for (HANDLE handle : Handles)
            ::SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
    }
    TInheritable(const TInheritable&) = delete;
    TInheritable& operator=(const TInheritable&) = delete;

    bool Ready() const { return Marked; }

private:
    const std::vector<HANDLE>& Handles;
    bool Marked = true;
};

// The attribute that limits a child's inheritance to the listed handles.
class TInheritOnly {
public:
    explicit TInheritOnly(std::vector<HANDLE> handles) : Handles(std::move(handles)) {
        SIZE_T size = 0;
        ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        Buffer = std::make_unique<char[]>(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(Buffer.get());
        if (!::InitializeProcThreadAttributeList(list, 1, 0, &size))
            return;
        List = list;
        Ready = ::UpdateProcThreadAttribute(List, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, Handles.data(),
                                            Handles.size() * sizeof(HANDLE), nullptr, nullptr);
    }
    ~TInheritOnly() {
        if (List)
            ::DeleteProcThreadAttributeList(List);
    }
    TInheritOnly(const TInheritOnly&) = delete;
    TInheritOnly& operator=(const TInheritOnly&) = delete;

    LPPROC_THREAD_ATTRIBUTE_LIST Get() const { return Ready ? List : nullptr; }

private:
    std::vector<HANDLE> Handles;
    std::unique_ptr<char[]> Buffer;
    LPPROC_THREAD_ATTRIBUTE_LIST List = nullptr;
    bool Ready = false;
};

}  // namespace

TChildProcess StartInheriting(const std::string& program,
                              std::string commandLine,
                              const std::vector<HANDLE>& handles,
                              DWORD flags) {
    TChildProcess child;
    const TInheritOnly inheritOnly(handles);
    if (!inheritOnly.Get()) {
        child.Error = ::GetLastError();
        return child;
    }
    const std::lock_guard<std::mutex> window(inheritanceWindow);
    const TInheritable inheritable(handles);
    if (!inheritable.Ready()) {
        child.Error = ::GetLastError();
        return child;
    }
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.lpAttributeList = inheritOnly.Get();
    PROCESS_INFORMATION created = {};
    // The program may lie in a folder named outside the code page.
    std::wstring wideLine = WideFromUtf8(commandLine);
    if (!::CreateProcessW(WideFromUtf8(program).c_str(), wideLine.data(), nullptr, nullptr, TRUE,
                          flags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &startup.StartupInfo, &created)) {
        child.Error = ::GetLastError();
        return child;
    }
    const UniqueHandle thread(created.hThread);
    child.Process.Reset(created.hProcess);
    child.Id = created.dwProcessId;
    return child;
}

HANDLE HandleOfValue(uint64_t value) {
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    DWORD flags = 0;
    return value != 0 && value == reinterpret_cast<uintptr_t>(handle) && ::GetHandleInformation(handle, &flags)
               ? handle
               : nullptr;
}
