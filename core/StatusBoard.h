// The core's status as the installer sees it, and the status lines that
// answer its commands. The engine thread writes it, the channel thread
// reads it; every member function takes the lock.
//
// Answers (each line "[zdl] Key=Value" and a line feed):
//   stat      P2PState, Percentage, PercentageDownloaded, VerifyPercentage,
//             DownloadBandWidth, UploadBandWidth, IncompleteByte, TotalByte,
//             ReservedByte,
//             and Error, ErrorCode, ErrorFile once an error happened, plus
//             HashFailures and Retries for people reading along, and
//             ServerBusy ("1" while the core waits on a server that answered
//             503 or 429, "0" otherwise) once it was ever "1". An error
//             that has cleared (the failing operation succeeded since) reads
//             "Error=None", "ErrorCode=0" and an empty "ErrorFile": the
//             installer keeps the last value of every key, so the error
//             lines go on being sent once one was.
//   get tb    TotalByte, IncompleteByte
//   get qf N  FileName of described file N, or ":" while no description
//             is loaded or N is out of range
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zdl::core {

// The core's phases, numbered as the installer expects ("P2PState").
enum class Phase : int {
    Begin = 0,
    ParsePara = 1,
    ParseParaError = 2,
    Initing = 3,
    InitError = 4,
    GetSeedMd5 = 5,
    GetSeedMd5Fail = 6,
    CheckSeedFile = 7,
    DownloadSeedFile = 8,
    DownloadSeedFileFail = 9,
    AnalysisSeed = 10,
    CreateFile = 11,
    AllFileCheckMd5 = 12,
    AnalysisSeedError = 13,
    Downloading = 14,
    DownloadCompleted = 15,
    ToQuit = 16,
    Quit = 17,
};

// The words of "Error".
enum class CoreError { WriteFile, OpenFile, SetFileSize, ReadSeed, DownloadTorrent, DownloadSeed };
const char* CoreErrorWord(CoreError error);
// "Error" once the reported error has cleared.
constexpr char kNoErrorWord[] = "None";

class StatusBoard {
public:
    void SetPhase(Phase phase);
    Phase GetPhase() const;
    void SetVerifyProgress(double fraction);
    void SetBytes(uint64_t total, uint64_t done);
    // Bytes whose space the client's files already hold on disk (files
    // created at full size) and the free space the core's own files still
    // need. "ReservedByte" reports the missing bytes among the reserved ones
    // less that need, so the installer's free-space test ("less free than
    // missing and not reserved") neither counts reserved space twice nor
    // misses a disk too full for the resume state.
    void SetReservedBytes(uint64_t bytes, uint64_t ownNeed);
    void SetDownloadRate(double bytesPerSecond);
    // What the peer server sends ("UploadBandWidth").
    void SetUploadRate(double bytesPerSecond);
    void SetError(CoreError error, int code, const std::string& file);
    // Clears the error if it is of kind `error` (the operation that reported
    // it now works); a different, later error stays.
    void ClearError(CoreError error);
    // Clears whatever error is reported (the download is complete).
    void ClearAllErrors();
    void SetServerBusy(bool busy);
    void CountHashFailure();
    void CountRetry();
    void SetFileNames(std::vector<std::string> names);

    std::string StatLines() const;
    std::string TotalLines() const;
    std::string FileNameLine(long index) const;

    static std::string Line(const std::string& key, const std::string& value);

private:
    mutable std::mutex mutex_;
    Phase phase_ = Phase::Begin;
    double verify_ = 0;
    uint64_t total_ = 0;
    uint64_t done_ = 0;
    uint64_t reserved_ = 0;
    uint64_t ownNeed_ = 0;
    double rate_ = 0;
    double uploadRate_ = 0;
    bool hasError_ = false; // one was reported since the start
    bool errorActive_ = false; // and has not cleared since
    CoreError error_ = CoreError::WriteFile;
    int errorCode_ = 0;
    std::string errorFile_;
    bool serverBusy_ = false;
    bool serverBusyEver_ = false;
    uint64_t hashFailures_ = 0;
    uint64_t retries_ = 0;
    std::vector<std::string> fileNames_;
};

} // namespace zdl::core
