#include "engine/SpiProgress.h"

#include <mutex>
#include <vector>

#include "engine/LevelProgress.h"

namespace {

struct TRegistration {
    long Id;
    TLevelProgress* Level;
};

// Few GetFile calls run at once (one per extraction), so a short list serves. Its lock is held while
// a level is told, so a registration never goes while its level is in use.
struct TRegistry {
    std::mutex Lock;
    std::vector<TRegistration> Entries;
    unsigned long Last = 0;
};

TRegistry& Registry() {
    static TRegistry registry;
    return registry;
}

}  // namespace

TSpiProgress::TSpiProgress(TLevelProgress* level) {
    if (!level)
        return;
    TRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.Lock);
    // Ids count on and skip 0 and those in use when they wrap.
    for (;;) {
        const long id = static_cast<long>(++registry.Last);
        bool used = id == 0;
        for (const TRegistration& entry : registry.Entries)
            used = used || entry.Id == id;
        if (!used) {
            registry.Entries.push_back({id, level});
            Id = id;
            return;
        }
    }
}

TSpiProgress::~TSpiProgress() {
    if (Id == 0)
        return;
    TRegistry& registry = Registry();
    const std::lock_guard<std::mutex> guard(registry.Lock);
    for (auto entry = registry.Entries.begin(); entry != registry.Entries.end(); ++entry) {
        if (entry->Id == Id) {
            registry.Entries.erase(entry);
            return;
        }
    }
}

int WINAPI TSpiProgress::Callback(int num, int denom, LONG_PTR data) {
    // Called from inside plug-ins: nothing may be thrown back into them.
    try {
        if (data == 0)
            return 0;
        TRegistry& registry = Registry();
        const std::lock_guard<std::mutex> guard(registry.Lock);
        for (const TRegistration& entry : registry.Entries) {
            if (entry.Id != data)
                continue;
            if (denom > 0)
                entry.Level->Advance(static_cast<double>(num) / denom);
            return entry.Level->Canceled() ? 1 : 0;
        }
    } catch (...) {
    }
    return 0;
}
