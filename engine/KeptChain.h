// The levels of the last extraction, kept for the next one: a run of jobs under one nested archive
// takes each outer level out once. Level 0 is the archive file on disk; each later one is a member
// of the one before, held in memory (or in its temporary copy) with the plug-in bound to it and its
// listing, if one was taken. The chain serves only while that file on disk is the same file with the
// same size and last-write time; otherwise it is dropped, never read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TArchive;

// What tells one file on disk from another, and from itself once changed.
struct TFileIdentity {
    DWORD Volume = 0;
    uint64_t Index = 0;
    uint64_t Size = 0;
    FILETIME LastWrite = {};

    bool operator==(const TFileIdentity& other) const;
    // False when the file cannot be opened or asked.
    static bool Read(const std::string& path, TFileIdentity& identity);
};

class TKeptChain {
public:
    static constexpr uint64_t kDefaultBudget = 256ull << 20;

    // budget: the bytes of images the chain may hold.
    explicit TKeptChain(uint64_t budget = kDefaultBudget);
    TKeptChain(const TKeptChain&) = delete;
    TKeptChain& operator=(const TKeptChain&) = delete;
    ~TKeptChain();

    // Lets every level go, temporary copies included.
    void Release() noexcept;
    bool Empty() const { return Levels.empty(); }
    size_t Count() const { return Levels.size(); }
    uint64_t KeptBytes() const { return Bytes; }

    // For the engine. Whether the chain may serve sourcePath: its file on disk starts the path and is
    // unchanged. When not, the chain is released.
    bool Serves(const std::string& sourcePath);
    TArchive* Level(size_t index) const { return Levels[index].Archive.get(); }
    // Drops the levels from index on, innermost first.
    void Cut(size_t index) noexcept;
    // Starts a chain at the archive file on disk, whose identity was read before anything of it was.
    void Start(std::unique_ptr<TArchive>& archive, const TFileIdentity& identity);
    // Takes the next level when its image fits the budget; level is left as it was when not.
    void Keep(std::unique_ptr<TArchive>& level, uint64_t bytes);
    // No level keeps the progress of a job that has ended.
    void Detach() noexcept;

private:
    struct TLevel {
        std::unique_ptr<TArchive> Archive;
        uint64_t Bytes;
    };

    uint64_t Budget;
    uint64_t Bytes = 0;
    TFileIdentity Outer;
    std::vector<TLevel> Levels;
};
