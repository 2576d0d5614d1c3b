// The text side of the core protocol, free of any channel or process-wide
// state: the command lines the installer sends, parsing of the core's status
// lines ("[tag] Key=Value") into a table of the last value per key, and
// turning that table into a CoreStatus.
//
// Pure functions; the caller owns the table and the record.
#pragma once

#include "core_client/CoreStatus.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace zdl {

// Command texts (each is sent followed by one line feed).
constexpr const char* kCommandStat = "stat";
constexpr const char* kCommandGet = "get";
constexpr const char* kCommandQuit = "quit";
constexpr const char* kGetTotals = "tb";
constexpr const char* kGetFirstFile = "qf 0";

// Status keys the installer reads.
constexpr const char* kKeyP2PState = "P2PState";
constexpr const char* kKeyDownloadBandWidth = "DownloadBandWidth";
constexpr const char* kKeyUploadBandWidth = "UploadBandWidth";
constexpr const char* kKeyVerifyPercentage = "VerifyPercentage";
constexpr const char* kKeyPercentage = "Percentage";
constexpr const char* kKeyPercentageDownloaded = "PercentageDownloaded";
constexpr const char* kKeyTotalByte = "TotalByte";
constexpr const char* kKeyIncompleteByte = "IncompleteByte";
constexpr const char* kKeyFileName = "FileName";
constexpr const char* kKeyError = "Error";
constexpr const char* kKeyErrorCode = "ErrorCode";
constexpr const char* kKeyErrorFile = "ErrorFile";
// Of the missing bytes, those whose space on disk the core has already
// reserved (files created at full size); free space need not hold them.
constexpr const char* kKeyReservedByte = "ReservedByte";
// "1" while the core waits on a server that answered 503 or 429, "0" once
// it is served again.
constexpr const char* kKeyServerBusy = "ServerBusy";

// The "Error" value of an error that has cleared.
constexpr const char* kErrorWordNone = "None";

// The core's placeholder file name, which does not count as a name.
constexpr const char* kNoFileName = ":";

// Last value received per key; keys compared byte for byte, case-sensitive.
using StatusValues = std::map<std::string, std::string>;

// Removes spaces, tabs, carriage returns and line feeds at both ends.
void TrimBlanks(std::string& s);

// Splits at the first "=" into trimmed key and value; false without "=".
bool SplitKeyValue(const std::string& s, std::string& key, std::string& value);

// Takes in one status line: needs a "[" and a "]"; the text after the first
// "]" is "Key=Value". Returns false when the line was ignored.
bool ParseStatusLine(const std::string& line, StatusValues& values);

// Number reading as the core writes them: blanks skipped, the longest
// leading decimal number used, the rest ignored. False (and |out|
// untouched) when the text does not start with a number.
bool ParseInt32Prefix(const std::string& text, int32_t* out);
bool ParseUInt64Prefix(const std::string& text, uint64_t* out);
bool ParseFloatPrefix(const std::string& text, float* out);

// Asks for the bytes free on the install folder's volume.
using FreeSpaceQuery = std::function<bool(uint64_t* freeBytes)>;

// Rebuilds |status| from |values|: a missing key or unreadable number keeps
// its field. A usable "FileName" (anything but ":") clears
// |awaitingFileName|. "Error" "WriteFile" becomes kErrorDiskFull when
// |freeSpace| answers with less than the missing bytes the core has not
// reserved yet (incompleteByte less "ReservedByte"), else kErrorWriteFile;
// "None" (the error has cleared) becomes kErrorNone. "ServerBusy" "1" or "0"
// sets or clears serverBusy; any other value leaves it.
void ExtractStatus(
    const StatusValues& values, CoreStatus& status, bool& awaitingFileName, const FreeSpaceQuery& freeSpace);

// A fresh core's status: numbers 0 except errorCode, fileName empty, not
// busy; errorCode and errorFile keep their values until the new core
// reports.
void ResetStatus(CoreStatus& status);

} // namespace zdl
