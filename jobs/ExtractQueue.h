// The jobs waiting to be extracted, front first. Lives on the GUI thread only; the job list of the
// main window shows job i on line i.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct TExtractJob {
    std::string Source;
    std::string Destination;
    uint16_t Flag = 0;
};

// An index outside the queue: a programming error that the window procedure reports.
class TListIndexError : public std::out_of_range {
public:
    TListIndexError();
};

class TExtractQueue {
public:
    TExtractQueue() = default;
    TExtractQueue(const TExtractQueue&) = delete;
    TExtractQueue& operator=(const TExtractQueue&) = delete;
    virtual ~TExtractQueue() = default;

    int Count() const { return static_cast<int>(Jobs.size()); }
    std::string GetSource(int index) const;
    std::string GetDestination(int index) const;
    void SetDestination(int index, std::string destination);
    int Append(std::string source, std::string destination, uint16_t flag);
    void Insert(int index, std::string source, std::string destination, uint16_t flag);
    void Delete(int index);
    void Clear() { Jobs.clear(); }

private:
    TExtractJob& At(int index) const;

    std::vector<std::unique_ptr<TExtractJob>> Jobs;
};
