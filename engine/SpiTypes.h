// The contract with Susie archive plug-ins ("00AM"): the member records and the entry points, in their
// ANSI and their wide (...W) forms.
// One set of declarations serves both widths: the x86-64 plug-ins (*.sph) have the same entry points
// with pointer-sized lengths, callback data and record positions and sizes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct fileInfo {
    unsigned char method[8];
    uintptr_t position;  // where GetFile finds the member
    uintptr_t compsize;
    uintptr_t filesize;
    uintptr_t timestamp;
    char path[200];  // member's folder inside the archive, e.g. "docs\"
    char filename[200];
    uint32_t crc;
#ifdef _WIN64
    char padding[4];  // x86-64 plug-ins step through listings 448 bytes a record
#endif
};
#pragma pack(pop)

#ifdef _WIN64
static_assert(sizeof(fileInfo) == 448, "x86-64 plug-ins exchange a packed 448-byte record");
static_assert(offsetof(fileInfo, position) == 8 && offsetof(fileInfo, compsize) == 16);
static_assert(offsetof(fileInfo, filesize) == 24 && offsetof(fileInfo, timestamp) == 32);
static_assert(offsetof(fileInfo, path) == 40 && offsetof(fileInfo, filename) == 240);
static_assert(offsetof(fileInfo, crc) == 440 && offsetof(fileInfo, padding) == 444);
#else
static_assert(sizeof(fileInfo) == 428, "32-bit plug-ins exchange a packed 428-byte record");
static_assert(offsetof(fileInfo, position) == 8 && offsetof(fileInfo, compsize) == 12);
static_assert(offsetof(fileInfo, filesize) == 16 && offsetof(fileInfo, timestamp) == 20);
static_assert(offsetof(fileInfo, path) == 24 && offsetof(fileInfo, filename) == 224);
static_assert(offsetof(fileInfo, crc) == 424);
#endif

// The wide record: the same fields with WCHAR names. 32-bit plug-ins step by 828 bytes; x86-64 ones by 848
// (with padding) or 844 (declared without it): a listing tells which (see WideListing.h).
#pragma pack(push, 1)
struct fileInfoW {
    unsigned char method[8];
    ULONG_PTR position;
    ULONG_PTR compsize;
    ULONG_PTR filesize;
    ULONG_PTR timestamp;
    WCHAR path[200];
    WCHAR filename[200];
    unsigned long crc;
#ifdef _WIN64
    char padding[4];
#endif
};
#pragma pack(pop)

#ifdef _WIN64
static_assert(sizeof(fileInfoW) == 848 && offsetof(fileInfoW, crc) == 840);
static_assert(offsetof(fileInfoW, path) == 40 && offsetof(fileInfoW, filename) == 440);
#else
static_assert(sizeof(fileInfoW) == 828 && offsetof(fileInfoW, crc) == 824);
static_assert(offsetof(fileInfoW, path) == 24 && offsetof(fileInfoW, filename) == 424);
#endif
// The end of the last field every wide record has, whatever its padding.
constexpr size_t kFileInfoWFields = offsetof(fileInfoW, crc) + sizeof(fileInfoW::crc);

// GetFileInfo flags: input bits 0-2, bit 7 = match without regard to case.
constexpr unsigned int kSpiInputDisk = 0;
constexpr unsigned int kSpiInputMemory = 1;
constexpr unsigned int kSpiInputMask = 7;
constexpr unsigned int kSpiIgnoreCase = 0x80;
// GetFile flags: bits 8-10 give the output; 0 = a file in the folder that `destination` names,
// 1 = a LocalAlloc block.
constexpr unsigned int kSpiOutputDisk = 0;
constexpr unsigned int kSpiOutputMemory = 0x100;
constexpr unsigned int kSpiOutputMask = 0x700;

// The results every plug-in shares; 0 is success.
enum SpiResult : int {
    kSpiNoFunction = -1,
    kSpiAborted = 1,
    kSpiUnknownFormat = 2,
    kSpiBrokenData = 3,
    kSpiNoMemory = 4,
    kSpiMemoryError = 5,
    kSpiFileReadError = 6,
    kSpiWindowError = 7,
    kSpiInternalError = 8,
    kSpiFileWriteError = 9,
    kSpiEndOfFile = 10,
};

// Lengths and callback data are LONG_PTR: long on 32-bit Windows, 64 bits wide for x86-64 plug-ins.
using SpiProgressCallback = int(WINAPI*)(int num, int denom, LONG_PTR data);

using GetPluginInfoFunc = int(WINAPI*)(int infoNumber, char* buffer, int bufferLength);
// The plug-in's own dialogs, owned by parent: fnc 1 is its settings, 0 its about box.
using ConfigurationDlgFunc = int(WINAPI*)(HWND parent, int fnc);
// head: the archive's first bytes (pointer-sized in both widths) (3072 readable, or 3072 - 128 when probed at offset 128).
using IsSupportedFunc = int(WINAPI*)(const char* fileName, const void* head);
// source: a file name (disk input, length = start offset) or the archive image (memory input,
// length = byte count).
using GetFileInfoFunc = int(WINAPI*)(const char* source, LONG_PTR length, const char* memberPath, unsigned int flag,
                                     fileInfo* info);
// destination: for memory output, a pointer to an HLOCAL that receives the member's block.
using GetFileFunc = int(WINAPI*)(const char* source, LONG_PTR length, void* destination, unsigned int flag,
                                 SpiProgressCallback progress, LONG_PTR progressData);
// Optional. *listing receives a LocalAlloc block of records, ended by one whose method[0] is zero;
// the caller frees it.
using GetArchiveInfoFunc = int(WINAPI*)(const char* source, LONG_PTR length, unsigned int flag, HLOCAL* listing);

// The wide entry points: the same contract with WCHAR names (buffer lengths in WCHARs). Memory input
// passes the image as `source`, as in the ANSI forms; for GetFileW with disk output `destination` is
// a wide folder.
using GetPluginInfoWFunc = int(WINAPI*)(int infoNumber, WCHAR* buffer, int bufferLength);
using IsSupportedWFunc = int(WINAPI*)(const WCHAR* fileName, const void* head);
using GetFileInfoWFunc = int(WINAPI*)(const WCHAR* source, LONG_PTR length, const WCHAR* memberPath, unsigned int flag,
                                      fileInfoW* info);
using GetFileWFunc = int(WINAPI*)(const WCHAR* source, LONG_PTR length, void* destination, unsigned int flag,
                                  SpiProgressCallback progress, LONG_PTR progressData);
using GetArchiveInfoWFunc = int(WINAPI*)(const WCHAR* source, LONG_PTR length, unsigned int flag, HLOCAL* listing);
