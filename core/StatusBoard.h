// The core's status as the installer sees it, and the status lines that
// answer its commands. The engine thread writes it, the channel thread
// reads it; every member function takes the lock.
//
// Answers (each line "[zdl] Key=Value" and a line feed):
//   stat      P2PState, Percentage, PercentageDownloaded, VerifyPercentage,
//             DownloadBandWidth, UploadBandWidth, IncompleteByte, TotalByte,
//             and Error, ErrorCode, ErrorFile once an error happened, plus
//             HashFailures and Retries for people reading along
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

class StatusBoard {
public:
    void SetPhase(Phase phase);
    Phase GetPhase() const;
    void SetVerifyProgress(double fraction);
    void SetBytes(uint64_t total, uint64_t done);
    void SetDownloadRate(double bytesPerSecond);
    void SetError(CoreError error, int code, const std::string& file);
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
    double rate_ = 0;
    bool hasError_ = false;
    CoreError error_ = CoreError::WriteFile;
    int errorCode_ = 0;
    std::string errorFile_;
    uint64_t hashFailures_ = 0;
    uint64_t retries_ = 0;
    std::vector<std::string> fileNames_;
};

} // namespace zdl::core
