// What the browser shows of one place inside an archive: the listing the hosts gave, held compactly
// (a pool of names and 24 bytes a member), and the rows directly in that place: the folders that
// members' paths imply or that have records of their own, then the files, in the chosen order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ListingSink.h"

enum class TBrowserColumn { kName, kSize, kTime, kType };

class TBrowserLevel final : public TListingSink {
public:
    void Begin(const std::string& plugin) override;
    void Add(std::string_view name, uint64_t size, int64_t time) override;

    // Makes the rows once the listing is whole, folders first, in name order.
    void MakeRows();
    // Orders the rows by column, folders still first; a second call on the same column turns the order.
    void SortBy(TBrowserColumn column);

    const std::string& Plugin() const { return Plugin_; }
    size_t MemberCount() const { return Members_.size(); }
    size_t RowCount() const { return Rows_.size(); }
    bool IsFolder(size_t row) const { return Rows_[row].Folder; }
    // The row's name as shown: a folder's first component, or a file's name.
    std::string_view Name(size_t row) const;
    uint64_t Size(size_t row) const { return Members_[Rows_[row].Member].Size; }
    int64_t Time(size_t row) const { return Members_[Rows_[row].Member].Time; }
    // The bytes held for the listing above its names: for the benchmark's bound.
    size_t OverheadBytes() const;

private:
    struct TMember {
        uint32_t NameAt;
        uint32_t NameLength;
        uint64_t Size;
        int64_t Time;
    };
    struct TRow {
        uint32_t Member;  // a file, or a member in the folder (whose first component names it)
        bool Folder;
    };
    std::string_view MemberName(const TMember& member) const { return {Names_.data() + member.NameAt, member.NameLength}; }
    bool Before(const TRow& a, const TRow& b) const;

    std::string Plugin_;
    std::string Names_;
    std::vector<TMember> Members_;
    std::vector<TRow> Rows_;
    TBrowserColumn Column_ = TBrowserColumn::kName;
    bool Descending_ = false;
};

// What a row's type column says, in UTF-8: フォルダー, or the extension's file type.
std::string RowType(std::string_view name, bool folder);
