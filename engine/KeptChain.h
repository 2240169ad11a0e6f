// The levels of the last extraction, kept for the next one: a run of jobs under one nested archive
// takes each outer level out once. Level 0 is the archive file on disk; each later one is a member
// of the one before, held in memory (or in its temporary copy) with the plug-in bound to it and its
// listing, if one was taken. The chain serves only while the file on disk that a job names is the same
// file with the same size, last-write and change time; otherwise it is dropped, never read. An inner
// level serves only a job that names it as the job that kept it did, byte for byte. A level that no
// plug-in of this process takes is kept as a mark of its hand-over to the other side, which may keep
// its bytes.
// A chain may instead start at a level the other side handed on: it then serves only hand-overs that
// name that one again, since the other side checked the file on disk.
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
    // Moves with every write and with every change of the other times, so a rewrite of the same size
    // whose last-write time was put back shows here.
    int64_t Change = 0;

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
    // A listing may name the file itself (itself).
    bool Serves(const std::string& sourcePath, bool itself = false);
    // Null for a level handed on.
    TArchive* Level(size_t index) const { return Levels[index].Archive.get(); }
    const std::string& Name(size_t index) const;
    // Whether component, the part of a job's path inside the level before, is the one the level was taken
    // out for, byte for byte ("/" and "\" alike): a plug-in may tell apart names that differ in case only.
    bool TakenOutFor(size_t index, const std::string& component) const;
    // The serial of the hand-over that took the level to the other side; 0 for a level kept here.
    uint64_t HandedOn(size_t index) const { return Levels[index].HandedOn; }
    // Drops the levels from index on, innermost first.
    void Cut(size_t index) noexcept;
    // Starts a chain at the archive file on disk, whose identity was read before anything of it was.
    void Start(std::unique_ptr<TArchive>& archive, const TFileIdentity& identity);
    // Takes the next level, taken out for component, when its image fits the budget; level is left as
    // it was when not.
    void Keep(std::unique_ptr<TArchive>& level, uint64_t bytes, const std::string& component);
    // Marks the level after the last one kept, taken out for component, as handed on to the other side
    // under serial.
    void KeepHandedOn(std::string name, uint64_t serial, const std::string& component);
    // Starts a chain, in place of any other, at a level the other side handed on under serial, when its
    // image fits the budget; level is left as it was when not.
    void Enter(std::unique_ptr<TArchive>& level, uint64_t serial, uint64_t bytes);
    // Whether the chain starts at the level the other side handed on under serial.
    bool ServesEntered(uint64_t serial) const { return !Levels.empty() && Entered == serial && serial; }
    // No level keeps the progress of a job that has ended.
    void Detach() noexcept;

private:
    struct TLevel {
        std::unique_ptr<TArchive> Archive;
        uint64_t Bytes;
        std::string HandedOnName;  // of a level handed on, which has no archive here
        uint64_t HandedOn = 0;
        std::string Component;  // what TakenOutFor compares, with "\" for separators
    };

    uint64_t Budget;
    uint64_t Bytes = 0;
    TFileIdentity Outer;
    uint64_t Entered = 0;  // the hand-over the chain starts at; 0 for one that starts on disk
    std::vector<TLevel> Levels;
};
