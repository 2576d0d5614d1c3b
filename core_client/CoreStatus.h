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

// What the core's "ErrorCode" says: the HTTP status where the server
// answered, else one of the core's own codes.
enum CoreErrorCode : int32_t {
    kCodeShortBody = 1000, // the server closed before the piece or file was whole
    kCodeHashMismatch = 1001, // the bytes served do not match the release
    kCodeTimeout = 1002, // no data, or far too slow, for a bounded time
    kCodeNoConnection = 1003, // refused, reset or name not resolved: no HTTP answer
    kCodeBadDescription = 1004, // description or digest malformed or beyond the limits
    kCodeReleaseChanged = 1005, // the release changed on the server while downloading
    // With "DownloadTorrent": the release's signature refused (a build with
    // the publisher's key installs nothing else).
    kCodeNoSignature = 1010, // the server has no signature beside the digest
    kCodeMalformedSignature = 1011, // not a minisign signature, or cut short
    kCodeUnknownKey = 1012, // signed by a key this build does not trust
    kCodeBadSignature = 1013, // digest, signature or trusted comment changed
    kCodeOlderRelease = 1014, // older than the release the install folder holds
    kCodeNoSignedTime = 1015, // the signature carries no release time
    kCodeLinkRefused = 1030, // a link or junction inside the install folder, not written through
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
    bool serverBusy = false; // the core waits on a server that answered 503 or 429
    std::string fileName; // empty until known
    std::string errorFile;
};

} // namespace zdl
