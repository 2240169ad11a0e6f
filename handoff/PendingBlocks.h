// Hand-off blocks copied by the receiver and not yet taken by the WM_USER handler, oldest first.
// A hand-off sent while an earlier WM_USER is still queued is dispatched before it; keeping every
// block in order means neither is lost, and each WM_USER takes one.
#pragma once

#include <deque>
#include <optional>
#include <utility>
#include <vector>

class TPendingBlocks {
public:
    void Push(std::vector<char> block) { blocks_.push_back(std::move(block)); }

    // Empty when no block waits.
    std::optional<std::vector<char>> TakeOldest() {
        if (blocks_.empty())
            return std::nullopt;
        std::vector<char> oldest = std::move(blocks_.front());
        blocks_.pop_front();
        return oldest;
    }

    void DropNewest() noexcept {
        if (!blocks_.empty())
            blocks_.pop_back();
    }

    size_t Count() const noexcept { return blocks_.size(); }

private:
    std::deque<std::vector<char>> blocks_;
};
