// The drop handler's files: one per architecture, side by side in the program's folder.
#pragma once

// The 64-bit file is the 32-bit one's name with this suffix: "KelvaneSX64.dll" beside "KelvaneSX.dll".
inline constexpr char kSixtyFourBitSuffix[] = "64";
inline constexpr char kServerFileName32[] = "KelvaneSX.dll";
inline constexpr char kServerFileName64[] = "KelvaneSX64.dll";

// The file of this build's architecture: the one a program of this build can load.
#ifdef _WIN64
inline constexpr const char* kServerFileName = kServerFileName64;
#else
inline constexpr const char* kServerFileName = kServerFileName32;
#endif
