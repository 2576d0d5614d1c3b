// The download core's status as the installer sees it: the record rebuilt
// from the core's status lines at every poll, and the numbers of the core's
// phases and error kinds.
#pragma once

#include <cstdint>
#include <string>

namespace zdl {

// Phases of the core ("P2PState").
enum P2PState : int32_t {
    kStateBegin = 0,
    kStateParsePara = 1,
    kStateParseParaError = 2,
    kStateIniting = 3,
    kStateInitError = 4,
    kStateGetSeedMd5 = 5,
    kStateGetSeedMd5Fail = 6,
    kStateCheckSeedFile = 7,
    kStateDownloadSeedFile = 8,
    kStateDownloadSeedFileFail = 9,
    kStateAnalysisSeed = 10,
    kStateCreateFile = 11,
    kStateAllFileCheckMd5 = 12,
    kStateAnalysisSeedError = 13,
    kStateDownloading = 14,
    kStateDownloadCompleted = 15,
    kStateToQuit = 16,
    kStateQuit = 17,
};
constexpr int kStateCount = 18;

// What the core's "Error" value means to the installer.
enum ErrorKind : int32_t {
    kErrorNone = 0,
    kErrorDiskFull = 1, // "WriteFile" with less free space than missing
    kErrorOpenFile = 2, // "OpenFile"
    kErrorSetFileSize = 3, // "SetFileSize"
    kErrorWriteFile = 4, // "WriteFile" with enough (or unknown) space
    kErrorDownloadTorrent = 5, // "DownloadTorrent"
    kErrorDownloadSeed = 6, // "DownloadSeed"
    kErrorReadSeed = 7, // "ReadSeed"
};

struct CoreStatus {
    float downloadBandWidth = 0; // KB/s
    float uploadBandWidth = 0; // KB/s
    uint64_t incompleteByte = 0; // bytes still missing
    uint64_t totalByte = 0; // bytes of the whole download
    float percentageDownloaded = 0; // kept, not shown
    float percentage = 0; // overall progress, 0..100
    float verifyPercentage = 0; // checking local files, 0..1
    int32_t p2pState = 0;
    int32_t errorKind = kErrorNone;
    int32_t errorCode = 0;
    std::string fileName; // empty until known
    std::string errorFile;
};

} // namespace zdl
