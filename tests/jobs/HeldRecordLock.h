// The lock of the record of temporaries, held on a thread of its own as another program of the
// session would hold it: from construction until destruction, or for 10 s at the most.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "base/Owned.h"

class THeldRecordLock {
public:
    // The lock of that record file.
    explicit THeldRecordLock(const std::string& record);
    ~THeldRecordLock();
    THeldRecordLock(const THeldRecordLock&) = delete;
    THeldRecordLock& operator=(const THeldRecordLock&) = delete;

private:
    UniqueHandle Held_;
    UniqueHandle Release_;
    std::atomic<bool> Taken_{false};
    std::thread Holder_;
};
