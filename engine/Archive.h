// The chain of objects that resolves a path through the file system and nested archives:
// a TRoot for the real file system, a TRealArchive for the archive file on disk, and one
// TVirtualArchive for each archive or member taken into memory. They live for one extraction, and
// a level is released as soon as the member the next level needs has been taken out of it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Owned.h"
#include "engine/DestinationWrite.h"
#include "engine/AnsiAlias.h"
#include "engine/ExtractOutcome.h"
#include "engine/Member.h"
#include "engine/MemberLookup.h"
#include "engine/SpiTypes.h"
#include "engine/Temporary.h"

class TPluginList;
struct TPluginInfo;
class TArchive;
class TLevelProgress;
class TProgress;
class TKeptChain;
class TCrossingOut;
struct TCrossingIn;

// Members are taken out into memory, and levels in memory count their bytes in 32 bits, whichever
// width the plug-in has: kNone when a member of size bytes fits, else why not.
TFailureKind MemoryMemberFailure(uint64_t size);

class TFolder {
public:
    virtual ~TFolder() = default;

    // The longest prefix of path that this level knows; rest gets the components taken off.
    virtual bool Locate(const std::string& path, std::string& rest, TMember& member);
    virtual std::unique_ptr<TArchive> OpenMember(const TMember& member) = 0;
    // Writes the member that ends the path to destPath; by default through OpenMember and SaveTo.
    virtual bool SaveMember(const TMember& member, const std::string& destPath);

    // The level's own listing, taken at most once per input kind; null, with the failure, when it
    // gives none (the file system gives none here).
    virtual const TMemberListing* Members();

    // Why the last operation of this level failed.
    const TFailure& LastFailure() const { return Failure; }
    // Where this level tells how far it has come and learns of a cancel; null for nowhere.
    void SetProgress(TLevelProgress* progress) { Progress = progress; }

protected:
    virtual bool Test(const std::string& prefix, TMember& member) = 0;
    bool Fail(TFailureKind kind, int pluginCode = 0);
    bool FailOnFile(TFailureKind kind, DWORD error, const std::string& file);
    // True, with the failure set, once the extraction is to stop: no fallback is tried then.
    bool Canceled();

    TFailure Failure;
    TLevelProgress* Progress = nullptr;
};

class TRoot final : public TFolder {
public:
    bool Locate(const std::string& path, std::string& rest, TMember& member) override;
    std::unique_ptr<TArchive> OpenMember(const TMember& member) override;
    // fullSize, when given, gets the size past 4 GiB that the record's 32-bit fields cut.
    static bool GetFileRecord(const std::string& path, TMember& member, uint64_t* fullSize = nullptr);

protected:
    bool Test(const std::string& prefix, TMember& member) override;

private:
    std::string LocatedPath;
    uint64_t LocatedSize = 0;
    DWORD ReadError = ERROR_SUCCESS;  // a file that exists but cannot be opened
    std::string TooLong;              // the shortest prefix beyond Windows' limit
};

class TArchive : public TFolder {
public:
    static constexpr uint32_t kHeadSize = 3072;
    static constexpr uint32_t kProbeOffset = 128;

    bool Locate(const std::string& path, std::string& rest, TMember& member) override;
    bool ProbeAt0(const TPluginInfo& plugin);
    bool ProbeAt128(const TPluginInfo& plugin);
    virtual bool GetMemberInfo(const std::string& memberPath, TMember& member) = 0;
    bool BindPlugin(TPluginList& pluginList);
    virtual bool SaveTo(const std::string& destPath) = 0;

    void SetHead(const unsigned char* head) { Head = head; }
    void SetSize(uint32_t size) { Size = size; }

    const std::string& GetName() const { return Name; }
    // The level's bytes when it holds them all in memory; null for an archive file on disk.
    virtual const unsigned char* Image() const { return nullptr; }
    HMODULE GetModule() const { return Module; }
    uint32_t GetHeadOffset() const { return HeadOffset; }
    uint32_t GetSize() const { return Size; }
    // "path" + "filename" of a member, appended to this archive's name.
    std::string MemberName(const TMember& member) const;
    // The file's change time as the link made for ANSI plug-ins left it; 0 when no link was made.
    int64_t AliasChangeTime() const { return Alias.ChangeTimeAfterLink(); }

protected:
    // How the archive's bytes reach the plug-in: a file (named in UTF-8) read from an offset, or an
    // image in memory.
    struct TInput {
        const char* Source;
        uint32_t Length;  // disk: the archive's start in the file; memory: its byte count
        unsigned int Flag;
    };
    static TInput DiskInput(const std::string& file, uint32_t start) { return {file.c_str(), start, kSpiInputDisk}; }
    static TInput MemoryInput(const unsigned char* data, uint32_t size) {
        return {reinterpret_cast<const char*>(data), size, kSpiInputMemory};
    }
    static bool InMemory(const TInput& input) { return (input.Flag & kSpiInputMask) == kSpiInputMemory; }

    explicit TArchive(std::string name, uint32_t size) : Name(std::move(name)), Size(size) {}
    bool Test(const std::string& prefix, TMember& member) override;
    bool Probe(const TPluginInfo& plugin, uint32_t offset);
    // GetFileInfo, and the plug-in's listing when GetFileInfo does not know the path.
    bool AskMemberInfo(const TInput& input, const std::string& memberPath, TMember& member);
    // The member again, by the name the plug-in recorded for it.
    bool AskRecorded(const TInput& input, const TMember& recorded, TMember& member);
    // Whether the member can be taken out into memory; Failure says why not.
    bool FitsInMemory(const TMember& member);
    // GetFile into a memory block; null (and Failure set) when the plug-in refuses, or the member
    // cannot be taken out into memory at all.
    HLOCAL AskMember(const TInput& input, const TMember& member);
    // GetArchiveInfo, at most once per input kind (plug-ins may be slow to list big archives): the
    // plug-in's answer; none when it was asked before or has no such entry point.
    std::optional<int> ListMembers(const TInput& input);
    // The listing with that input; null, with the failure, when the plug-in gives none.
    const TMemberListing* ListingWith(const TInput& input);
    // Whether a listing made with memory input proved that the plug-in reads memory.
    bool ListedFromMemory() const { return Listing.From(kSpiInputMemory); }
    std::unique_ptr<TArchive> TakeMember(HLOCAL block, const TMember& member);

    std::string Name;
    HMODULE Module = nullptr;  // borrowed from the plug-in list, as Plugin is
    TPluginInfo* Plugin = nullptr;
    const unsigned char* Head = nullptr;
    uint32_t HeadOffset = 0;
    GetFileInfoFunc GetFileInfoProc = nullptr;
    GetFileFunc GetFileProc = nullptr;
    uint32_t Size = 0;
    std::string PluginName;
    GetArchiveInfoFunc GetArchiveInfoProc = nullptr;
    // The level asks through the plug-in's wide family, when that has every call the ANSI family
    // would make: GetFileInfoW, GetFileW, and GetArchiveInfoW when there is a GetArchiveInfo.
    bool Wide = false;
    GetFileInfoWFunc GetFileInfoWProc = nullptr;
    GetFileWFunc GetFileWProc = nullptr;
    GetArchiveInfoWFunc GetArchiveInfoWProc = nullptr;

    // GetFile, through the level's family; source is a file name for disk input, bytes for memory input;
    // destination a folder's name for disk output. Names are UTF-8.
    int CallGetFile(const char* source, LONG_PTR length, void* destination, unsigned int flag, LONG_PTR progressData);
    // Whether the level asks through the wide family.
    bool AsksWide() const { return Wide; }
    bool SourceUnnamed = false;  // the last call found no ANSI name for the file: the failure says why

private:
    // Which separator the plug-in takes in member paths, once an answer or its listing has shown it;
    // kTrySlash while "/" is tried after "\" found nothing.
    enum class TNaming { kUnknown, kBackslash, kSlash, kTrySlash };

    bool FindInListing(const TInput& input, const std::string& memberPath, TMember& member);
    // Through the listing only, for a name the ANSI family could only be asked lossily.
    bool FindLossyForm(const std::string& memberPath, TMember& member);
    bool AskByRecord(const TInput& input, const fileInfo& recorded, TMember& member);
    // The source as the family takes it: the image, or the file's name, wide or in the code page.
    const void* CallSource(const TInput& input, std::wstring& wide);
    int CallGetFileInfo(const TInput& input, const std::string& asked, TMember& member);
    int CallGetArchiveInfo(const TInput& input, HLOCAL& block);

    // The ANSI name that plug-ins with ANSI entry points are given for this level's file on disk.
    TAnsiAlias Alias;

    TNaming Naming = TNaming::kUnknown;

    TMemberListing Listing;
};

// An archive file on disk: only its head is read; the plug-in reads the file through its name.
class TRealArchive final : public TArchive {
public:
    // Members above this size are asked for on disk first, where they go anyway. In 32 bits a
    // larger block may find no room in the address space. In x86-64 the block is held whole and
    // memory output takes 2-4 times as long as disk output (bench/output): up to 1 GiB that is a
    // second or two, in a block any x86-64 machine can hold. It stays below 4 GiB, since levels count
    // bytes in 32 bits.
    static constexpr uint32_t kMemoryOutputLimit = sizeof(void*) == 8 ? 1024u << 20 : 256u << 20;

    TRealArchive(std::string name, uint64_t size);

    std::unique_ptr<TArchive> OpenMember(const TMember& member) override;
    bool SaveMember(const TMember& member, const std::string& destPath) override;
    bool GetMemberInfo(const std::string& memberPath, TMember& member) override;
    bool SaveTo(const std::string& destPath) override;
    const TMemberListing* Members() override;

private:
    bool SaveThroughMemory(const TMember& member, const std::string& destPath);
    bool SaveThroughDisk(const TMember& member, const std::string& destPath);

    DWORD HeadError = ERROR_SUCCESS;
    unsigned char HeadBuffer[kHeadSize] = {};
};

// A member held whole in a plug-in's local-memory block, or in a view of the level another host handed
// on, which this object owns. When the bound plug-in refuses memory input, the level is copied to a
// temporary file and read from there.
class TVirtualArchive final : public TArchive {
public:
    TVirtualArchive(std::string name, uint32_t size, UniqueLocal memHandle);
    // view: at least kHeadSize bytes, zeros after the member's.
    TVirtualArchive(std::string name, uint32_t size, UniqueWritableView view);

    bool Locate(const std::string& path, std::string& rest, TMember& member) override;
    std::unique_ptr<TArchive> OpenMember(const TMember& member) override;
    bool GetMemberInfo(const std::string& memberPath, TMember& member) override;
    bool SaveTo(const std::string& destPath) override;
    const TMemberListing* Members() override;
    const unsigned char* Image() const override { return Head; }

    bool OnDisk() const { return static_cast<bool>(DiskCopy); }

private:
    // The archive as the bound plug-in sees it: from the probe offset to the member's end.
    bool HasData() const { return Head && Size >= HeadOffset; }
    const unsigned char* Data() const { return Head + HeadOffset; }
    uint32_t DataSize() const { return Size - HeadOffset; }
    TInput CurrentInput() const { return OnDisk() ? DiskInput(DiskCopy.Path(), 0) : MemoryInput(Data(), DataSize()); }
    bool MoveToDisk();
    // Puts the level where the bound plug-in reads it, learnt before a call that could crash: in a
    // copy unless it may be given memory. False when the copy cannot be made.
    bool PlaceForPlugin();
    // The member again, from the copy: a position holds only for the input it came from.
    std::unique_ptr<TArchive> OpenMemberOnDisk(const TMember& member);

    LockedLocal MemHandle;
    UniqueWritableView View;
    TTemporaryCopy DiskCopy;  // exactly the bytes memory input would have shown
};

class TListingSink;

// The one entry into the engine: writes the file that sourcePath names to destPath.
bool ExtractPath(TPluginList& pluginList, const std::string& sourcePath, const std::string& destPath);
// The same, saying why it failed. progress, when given, is told how far the extraction has come, and
// stops it once it says so: the outcome is then kCanceled, and neither a temporary file nor a partial
// destination is left (an old destination keeps what it held).
// A chain across both widths: from, when given, is the level to start in, handed on by the other
// width's host, with the path left inside it; sourcePath is still the job's whole path. out, when
// given, takes a level that no plug-in of this process takes; the outcome is then a success, and
// the job goes on there. kept, when given, serves jobs from the start and keeps their levels; with
// from it is a chain of its own, entered from the other side.
TExtractOutcome ExtractPathOutcome(TPluginList& pluginList,
                                   const std::string& sourcePath,
                                   const std::string& destPath,
                                   TProgress* progress = nullptr,
                                   TKeptChain* kept = nullptr,
                                   TCrossingIn* from = nullptr,
                                   TCrossingOut* out = nullptr);
// The members of the archive that sourcePath names, or of the folder inside an archive that it names,
// at any depth, to sink; the outer levels are taken out as an extraction takes them, and kept in kept
// as it keeps them. A folder is a path that members lie below, whether or not the plug-in lists a
// record of its own for it. progress, kept, from and out as for ExtractPathOutcome: a level that no
// plug-in here takes is handed on, and the other side lists it.
TExtractOutcome ListPathOutcome(TPluginList& pluginList,
                                const std::string& sourcePath,
                                TListingSink& sink,
                                TProgress* progress = nullptr,
                                TKeptChain* kept = nullptr,
                                TCrossingIn* from = nullptr,
                                TCrossingOut* out = nullptr);
