#include "tests/jobs/HeldRecordLock.h"

#include <gtest/gtest.h>

#include "jobs/TemporaryRecord.h"

namespace {

constexpr DWORD kLongestHoldMs = 10000;

}  // namespace

THeldRecordLock::THeldRecordLock(const std::string& record)
    : Held_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)), Release_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    // A mutex belongs to the thread that took it: this one must not, or its own waits would pass.
    Holder_ = std::thread([this, name = TTemporaryRecord::LockNameOf(record)] {
        UniqueHandle mutex(::CreateMutexA(nullptr, FALSE, name.c_str()));
        const DWORD taken = mutex ? ::WaitForSingleObject(mutex.Get(), kLongestHoldMs) : WAIT_FAILED;
        Taken_ = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
        ::SetEvent(Held_.Get());
        ::WaitForSingleObject(Release_.Get(), kLongestHoldMs);
        if (Taken_)
            ::ReleaseMutex(mutex.Get());
    });
    EXPECT_EQ(::WaitForSingleObject(Held_.Get(), kLongestHoldMs), WAIT_OBJECT_0);
    EXPECT_TRUE(Taken_) << "the lock was not taken";
}

THeldRecordLock::~THeldRecordLock() {
    ::SetEvent(Release_.Get());
    Holder_.join();
}
