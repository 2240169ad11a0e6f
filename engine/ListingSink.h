// Where a listing of a level goes, member by member, so that the lister holds no second copy of a
// big listing: into pieces for the channel, into a list in memory, or straight to output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TListingSink {
public:
    virtual ~TListingSink() = default;
    // The plug-in that reads the level, before its first member.
    virtual void Begin(const std::string& plugin) = 0;
    // One member, named from the folder listed with "\" between folders; a folder's own record ends
    // in "\". time: the plug-in's, seconds since 1970 (UTC).
    virtual void Add(std::string_view name, uint64_t size, int64_t time) = 0;
};

struct TListedEntry {
    std::string Name;
    uint64_t Size = 0;
    int64_t Time = 0;
};

// A listing held whole: for tests, benchmarks and small callers.
class TListingInMemory final : public TListingSink {
public:
    void Begin(const std::string& plugin) override {
        Plugin = plugin;
        Entries.clear();
    }
    void Add(std::string_view name, uint64_t size, int64_t time) override {
        Entries.push_back({std::string(name), size, time});
    }

    std::string Plugin;
    std::vector<TListedEntry> Entries;
};
