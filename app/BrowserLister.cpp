#include "app/BrowserLister.h"

#include "base/ModulePath.h"
#include "engine/Progress.h"
#include "jobs/PluginHosts.h"

// Canceled once a later request came, or Cancel was called for this one.
class TBrowserLister::TCancel final : public TProgress {
public:
    TCancel(const TBrowserLister& lister, uint64_t serial) : Lister(lister), Serial(serial) {}
    void Report(int, int, double) override {}
    bool Canceled() const override {
        const std::lock_guard<std::mutex> guard(Lister.Lock);
        return Lister.Quitting || Lister.Canceled >= Serial || Lister.Requested > Serial;
    }

private:
    const TBrowserLister& Lister;
    uint64_t Serial;
};

TBrowserLister::TBrowserLister(HWND window, UINT message)
    : Window(window), Message(message), Hosts(TPluginHosts::Beside(ProgramFolder())), Thread([this] { Run(); }) {}

TBrowserLister::~TBrowserLister() {
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Quitting = true;
    }
    Wake.notify_one();
    // A plug-in that never returns is ended with its host.
    Hosts->Terminate();
    Thread.join();
}

uint64_t TBrowserLister::List(const std::string& path) {
    uint64_t serial = 0;
    {
        const std::lock_guard<std::mutex> guard(Lock);
        Path = path;
        serial = ++Requested;
    }
    Wake.notify_one();
    return serial;
}

void TBrowserLister::Cancel() {
    const std::lock_guard<std::mutex> guard(Lock);
    Canceled = Requested;
}

TExtractOutcome TBrowserLister::TakeOut(const std::string& source, const std::string& destination) {
    return Hosts->Extract(source, destination);
}

void TBrowserLister::Run() {
    uint64_t done = 0;
    for (;;) {
        std::string path;
        uint64_t serial = 0;
        {
            std::unique_lock<std::mutex> guard(Lock);
            Wake.wait(guard, [&] { return Quitting || Requested != done; });
            if (Quitting)
                return;
            path = Path;
            serial = done = Requested;
        }
        auto listed = std::make_unique<TBrowserListed>();
        listed->Serial = serial;
        listed->Path = path;
        TCancel cancel(*this, serial);
        try {
            listed->Outcome = Hosts->List(path, listed->Level, &cancel);
            if (listed->Outcome.Succeeded())
                listed->Level.MakeRows();
        } catch (const std::bad_alloc&) {
            listed->Outcome = TExtractOutcome{};
            listed->Outcome.Failure.Kind = TFailureKind::kInternal;
            listed->Outcome.Component = path;
        }
        if (::PostMessageW(Window, Message, 0, reinterpret_cast<LPARAM>(listed.get())))
            listed.release();
    }
}
