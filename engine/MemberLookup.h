// Finding a member in an archive level: the naming trials ("\" or "/"), the listing, taken at most once
// per input kind, and the lossy forms under which plug-ins with ANSI entry points list names the code
// page lacks. The lookups of TArchive are defined beside these; a browser lists through TMemberListing.
#pragma once

#include <string>
#include <vector>

#include "base/Owned.h"
#include "engine/Member.h"

// A name folded as Windows compares file names, "/" and "\" alike.
std::string FoldedName(const std::string& name);
// Whether path names something inside head: head as FoldedName compares it, a separator, then more.
bool GoesInside(const std::string& path, const std::string& head);

// A member from a plug-in's listing, with its folder and name folded for comparing once a lookup
// needs that.
struct TListedMember {
    TListedMember() = default;
    // Made where it is kept: a record is some 430 bytes, and listings run to hundreds of thousands.
    template <typename TRecord>
    explicit TListedMember(const TRecord& record) : Member(MemberOf(record)) {}

    std::string FoldedPath;
    TMember Member;
};

// The listing of one level, as its plug-in gave it for one kind of input.
class TMemberListing {
public:
    // Whether a listing with that input (kSpiInputDisk, kSpiInputMemory) is still to be asked for;
    // from now on it is not.
    bool AskFirst(unsigned int input);
    // The records of a listing block of that family, up to its end record or its end.
    void Take(const LockedLocal& block, bool wide, unsigned int input);
    // Whether the listing was taken with that input.
    bool From(unsigned int input) const { return Input == input; }
    // Whether any member is named with "/".
    bool NamesWithSlash() const;
    // The members, their paths not yet folded: a listing for people needs no folding.
    const std::vector<TListedMember>& Members() const { return Listed; }
    // The members with their folded paths, folded on first need, once.
    const std::vector<TListedMember>& Folded() const;

    // The member of that name, as Windows compares names; null when none.
    const TListedMember* Find(const std::string& memberPath) const;
    // The one member whose listed name could be the lossy form of memberPath; null when none could, or
    // when more than one could (ambiguous then says so).
    const TListedMember* FindLossy(const std::string& memberPath, bool& ambiguous) const;

private:
    mutable std::vector<TListedMember> Listed;
    mutable bool FoldedAll = false;
    unsigned int Input = ~0u;
    unsigned int Tried = 0;  // bit per input kind
};
