// A level of a nested path that crosses between the plug-in hosts of the two widths: a 32-bit process
// loads only *.spi plug-ins and a 64-bit one only *.sph, so a chain whose levels need both goes on in
// the other host from the level that no plug-in of this one takes. The host that took a level out
// of its archive asks its own plug-ins first, so that bytes cross only when they must.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/Owned.h"
#include "engine/ExtractOutcome.h"

struct TCrossing {
    std::string Name;       // the level as later failures name it: its archive's name and the member
    std::string Container;  // the archive it came out of, empty for the file system
    std::string Member;     // its path in Container, as the job spells it
    std::string Rest;       // the part of the job's path inside the level
    int Level = 0;          // its number: the n-th archive on the way
};

// Where an extraction hands a level on when no plug-in of this process takes it.
class TCrossingOut {
public:
    explicit TCrossingOut(int firstLevel) : FirstLevel(firstLevel) {}
    virtual ~TCrossingOut() = default;

    // Levels before this one fail as before: the other side has tried them already. 0: none is handed on.
    const int FirstLevel;
    // image: the level's bytes, or null for the archive file on disk, which the other side reads itself.
    // False, with Failure saying why, when the level could not be handed on. Bytes handed on get a new
    // Serial, under which the other side may keep them.
    virtual bool Take(const TCrossing& level, const unsigned char* image, uint32_t size) = 0;
    // Whether the level handed on under serial may go on again without its bytes: none have been
    // handed on since, and the job allows it.
    virtual bool MayHandOnKept(uint64_t serial) const = 0;
    // Hands the level on as the one the other side keeps under serial; false, with Failure saying why,
    // when it could not.
    virtual bool TakeKept(const TCrossing& level, uint64_t serial) = 0;

    TFailure Failure;
    uint64_t Serial = 0;
};

// The level an extraction starts from, handed on by the other side: its bytes in a view that holds at
// least TArchive::kHeadSize bytes, zeros after the level's own; or no view, for the level the other
// side handed on before under Serial and this side may still keep.
struct TCrossingIn {
    TCrossing Level;
    UniqueWritableView Image;
    uint32_t Size = 0;
    uint64_t Serial = 0;
};
