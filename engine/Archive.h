// The chain of objects that resolves a path through the file system and nested archives:
// a TRoot for the real file system, a TRealArchive for the archive file on disk, and one
// TVirtualArchive for each archive or member taken into memory. They live for one extraction.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/Owned.h"
#include "engine/SpiTypes.h"

class TPluginList;
class TArchive;

class TFolder {
public:
    virtual ~TFolder() = default;

    // The longest prefix of path that this level knows; rest gets the components taken off.
    bool Locate(const std::string& path, std::string& rest, fileInfo& info);
    virtual std::unique_ptr<TArchive> OpenMember(const fileInfo& info) = 0;

protected:
    virtual bool Test(const std::string& prefix, fileInfo& info) = 0;
};

class TRoot final : public TFolder {
public:
    std::unique_ptr<TArchive> OpenMember(const fileInfo& info) override;
    static bool GetFileRecord(const std::string& path, fileInfo& info);

protected:
    bool Test(const std::string& prefix, fileInfo& info) override { return GetFileRecord(prefix, info); }
};

class TArchive : public TFolder {
public:
    static constexpr uint32_t kHeadSize = 3072;
    static constexpr uint32_t kProbeOffset = 128;

    bool ProbeAt0(HMODULE module, IsSupportedFunc isSupported);
    bool ProbeAt128(HMODULE module, IsSupportedFunc isSupported);
    virtual bool GetMemberInfo(const std::string& memberPath, fileInfo& info) = 0;
    bool BindPlugin(TPluginList& pluginList);
    virtual bool SaveTo(const std::string& destPath) = 0;

    void SetHead(const unsigned char* head) { Head = head; }
    void SetSize(uint32_t size) { Size = size; }

    const std::string& GetName() const { return Name; }
    HMODULE GetModule() const { return Module; }
    uint32_t GetHeadOffset() const { return HeadOffset; }

protected:
    explicit TArchive(std::string name, uint32_t size) : Name(std::move(name)), Size(size) {}
    bool Test(const std::string& prefix, fileInfo& info) override { return GetMemberInfo(prefix, info); }
    bool Probe(HMODULE module, IsSupportedFunc isSupported, uint32_t offset);
    // "path" + "filename" of a member, appended to this archive's name.
    std::string MemberName(const fileInfo& info) const;
    std::unique_ptr<TArchive> TakeMember(HLOCAL member, const fileInfo& info) const;

    std::string Name;
    HMODULE Module = nullptr;  // borrowed from the plug-in list
    const unsigned char* Head = nullptr;
    uint32_t HeadOffset = 0;
    GetFileInfoFunc GetFileInfoProc = nullptr;
    GetFileFunc GetFileProc = nullptr;
    uint32_t Size = 0;
};

// An archive file on disk: only its head is read; the plug-in reads the file through its name.
class TRealArchive final : public TArchive {
public:
    TRealArchive(std::string name, uint32_t size);

    std::unique_ptr<TArchive> OpenMember(const fileInfo& info) override;
    bool GetMemberInfo(const std::string& memberPath, fileInfo& info) override;
    bool SaveTo(const std::string& destPath) override;

private:
    unsigned char HeadBuffer[kHeadSize] = {};
};

// A member held whole in a plug-in's local-memory block, which this object owns.
class TVirtualArchive final : public TArchive {
public:
    TVirtualArchive(std::string name, uint32_t size, UniqueLocal memHandle);

    std::unique_ptr<TArchive> OpenMember(const fileInfo& info) override;
    bool GetMemberInfo(const std::string& memberPath, fileInfo& info) override;
    bool SaveTo(const std::string& destPath) override;

private:
    // The archive as the bound plug-in sees it: from the probe offset to the member's end.
    bool HasData() const { return Head && Size >= HeadOffset; }
    const unsigned char* Data() const { return Head + HeadOffset; }
    uint32_t DataSize() const { return Size - HeadOffset; }

    LockedLocal MemHandle;
};

// Writes size bytes to destPath through a temporary file beside it, so the destination is either
// complete or keeps what it held before.
bool WriteBlockToFile(const std::string& destPath, const void* data, uint32_t size);

// The one entry into the engine: writes the file that sourcePath names to destPath.
bool ExtractPath(TPluginList& pluginList, const std::string& sourcePath, const std::string& destPath);
