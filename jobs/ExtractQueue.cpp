#include "jobs/ExtractQueue.h"

#include <algorithm>
#include <iterator>

TListIndexError::TListIndexError() : std::out_of_range("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています") {}

TExtractQueue::TExtractQueue(std::unique_ptr<TQueueJournal> journal) : Journal(std::move(journal)) {
    if (!Journal)
        return;
    for (TKeptJob& kept : Journal->Jobs()) {
        NextId = std::max(NextId, kept.Id + 1);
        auto job = std::make_unique<TExtractJob>();
        job->Id = kept.Id;
        job->Source = std::move(kept.Source);
        job->Destination = std::move(kept.Destination);
        job->Held = kept.Runs >= TQueueJournal::kHeldRuns;
        Jobs.push_back(std::move(job));
    }
}

TExtractJob& TExtractQueue::At(int index) const {
    if (index < 0 || index >= Count())
        throw TListIndexError();
    return *Jobs[index];
}

int TExtractQueue::NextToRun() const {
    const auto found = std::find_if(Jobs.begin(), Jobs.end(), [](const auto& job) { return !job->Held; });
    return found == Jobs.end() ? -1 : static_cast<int>(found - Jobs.begin());
}

std::string TExtractQueue::GetSource(int index) const {
    return At(index).Source;
}

std::string TExtractQueue::GetDestination(int index) const {
    return At(index).Destination;
}

void TExtractQueue::SetDestination(int index, std::string destination) {
    TExtractJob& job = At(index);
    job.Destination = std::move(destination);
    if (Journal)
        Journal->Retarget({{job.Id, job.Destination}});
}

void TExtractQueue::Retarget(const std::function<std::string(const std::string&)>& newDestination) {
    std::vector<std::pair<uint64_t, std::string>> changed;
    for (const auto& job : Jobs) {
        job->Destination = newDestination(job->Destination);
        changed.emplace_back(job->Id, job->Destination);
    }
    if (Journal)
        Journal->Retarget(changed);
}

std::unique_ptr<TExtractJob> TExtractQueue::Made(std::string source, std::string destination, uint16_t flag) {
    auto job = std::make_unique<TExtractJob>();
    job->Id = NextId++;
    job->Flag = flag;
    job->Source = std::move(source);
    job->Destination = std::move(destination);
    return job;
}

int TExtractQueue::Append(std::string source, std::string destination, uint16_t flag) {
    const int index = Count();
    Insert(index, std::move(source), std::move(destination), flag);
    return index;
}

// Whatever may fail for memory comes before the queue changes.
void TExtractQueue::AppendAll(std::vector<TExtractJob> jobs) {
    std::vector<std::unique_ptr<TExtractJob>> made;
    made.reserve(jobs.size());
    for (TExtractJob& job : jobs)
        made.push_back(Made(std::move(job.Source), std::move(job.Destination), job.Flag));
    Jobs.reserve(Jobs.size() + made.size());
    if (Journal) {
        std::vector<TKeptJobView> kept;
        kept.reserve(made.size());
        for (const auto& job : made)
            kept.push_back({job->Id, job->Source, job->Destination});
        Journal->Add(kept);
    }
    std::move(made.begin(), made.end(), std::back_inserter(Jobs));
}

void TExtractQueue::Insert(int index, std::string source, std::string destination, uint16_t flag) {
    if (index < 0 || index > Count())
        throw TListIndexError();
    auto job = Made(std::move(source), std::move(destination), flag);
    if (Journal) {
        const TKeptJobView kept = {job->Id, job->Source, job->Destination};
        if (index == Count())
            Journal->Add({kept});
        else
            Journal->Insert(kept, index == 0 ? FrontAnchor() : Jobs[index - 1]->Id);
    }
    Jobs.insert(Jobs.begin() + index, std::move(job));
}

void TExtractQueue::Delete(int index) {
    const uint64_t id = At(index).Id;
    Jobs.erase(Jobs.begin() + index);
    if (Journal)
        Journal->Remove({id});
}

void TExtractQueue::MoveToFront(int index) {
    At(index);
    std::rotate(Jobs.begin(), Jobs.begin() + index, Jobs.begin() + index + 1);
    if (Journal)
        Journal->Move(Jobs.front()->Id, FrontAnchor());
}

void TExtractQueue::Clear() {
    std::vector<uint64_t> ids;
    for (const auto& job : Jobs)
        ids.push_back(job->Id);
    Jobs.clear();
    if (Journal)
        Journal->Remove(ids);
}

TExtractJob TExtractQueue::Take(int index) {
    TExtractJob job = std::move(At(index));
    Jobs.erase(Jobs.begin() + index);
    Taken.push_back(job.Id);
    if (Journal)
        Journal->Taken(job.Id);
    return job;
}

void TExtractQueue::Ended(uint64_t id) {
    const auto found = std::find(Taken.begin(), Taken.end(), id);
    if (found == Taken.end())
        return;
    Taken.erase(found);
    if (Journal)
        Journal->Ended(id);
}

void TExtractQueue::Flush() {
    if (Journal)
        Journal->Flush();
}

void TExtractQueue::AbandonKept() {
    if (!Journal)
        return;
    std::vector<uint64_t> ids(Taken);
    for (const auto& job : Jobs)
        ids.push_back(job->Id);
    Journal->Remove(ids);
    Journal.reset();
}
