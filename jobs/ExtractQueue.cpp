#include "jobs/ExtractQueue.h"

TListIndexError::TListIndexError() : std::out_of_range("ﾘｽﾄのｲﾝﾃﾞｯｸｽが範囲を超えています") {}

TExtractJob& TExtractQueue::At(int index) const {
    if (index < 0 || index >= Count())
        throw TListIndexError();
    return *Jobs[index];
}

std::string TExtractQueue::GetSource(int index) const {
    return At(index).Source;
}

std::string TExtractQueue::GetDestination(int index) const {
    return At(index).Destination;
}

void TExtractQueue::SetDestination(int index, std::string destination) {
    At(index).Destination = std::move(destination);
}

int TExtractQueue::Append(std::string source, std::string destination, uint16_t flag) {
    const int index = Count();
    Insert(index, std::move(source), std::move(destination), flag);
    return index;
}

void TExtractQueue::Insert(int index, std::string source, std::string destination, uint16_t flag) {
    if (index < 0 || index > Count())
        throw TListIndexError();
    auto job = std::make_unique<TExtractJob>();
    job->Flag = flag;
    job->Source = std::move(source);
    job->Destination = std::move(destination);
    Jobs.insert(Jobs.begin() + index, std::move(job));
}

void TExtractQueue::Delete(int index) {
    At(index);
    Jobs.erase(Jobs.begin() + index);
}
