// The download engine: runs the core's phases on a thread of its own and
// publishes its progress on the StatusBoard. The sequence ("P2PState"):
//
//   0 BEGIN, 1 PARSE_PARA      main: reading the command line
//   2 PARSE_PARA_ERROR         main: bad command line; the core exits (code 2)
//   3 INITING                  install folder and ".zdlcore" created, folder
//                              lock taken (waiting a few seconds for a core
//                              that is still quitting)
//   4 INIT_ERROR               folder cannot be created or another core keeps
//                              the lock ("Error=OpenFile"), or ".zdlcore" or
//                              its lock is a link (ErrorCode 1030); retried
//                              every few seconds, nothing is written
//                              meanwhile
//   5 GET_SEED_MD5             fetching "<Torrent>.digest"
//   6 GET_SEED_MD5_FAIL        digest unreachable ("Error=DownloadTorrent");
//                              retried with backoff
//   7 CHECK_SEED_FILE          comparing the local copy of the description
//                              with the digest
//   8 DOWNLOAD_SEED_FILE       fetching the description
//   9 DOWNLOAD_SEED_FILE_FAIL  description unreachable or not matching its
//                              digest ("Error=DownloadSeed"), or unusable:
//                              malformed or naming an unsafe path
//                              ("Error=ReadSeed"); retried with backoff,
//                              nothing is written for it
//  10 ANALYSIS_SEED            parsing the description, reading the resume
//                              state
//  11 CREATE_FILE              folders and files created at full size
//                              without writing data ("Error=SetFileSize", or
//                              "Error=WriteFile" when the disk is full;
//                              "Error=OpenFile" with ErrorCode 1030 for a
//                              link, junction or reparse point in the install
//                              folder, never followed; retried)
//  12 ALL_FILE_CHECK_MD5       hashing pieces already on disk that the
//                              resume state does not vouch for
//                              ("VerifyPercentage" 0..1)
//  13 ANALYSIS_SEED_ERROR      a client file is held by another program (the
//                              running game): "Error=OpenFile" with
//                              "ErrorFile"; retried until it is released
//  14 DOWNLOADING              fetching, verifying and writing pieces; a
//                              file the server answers for but does not
//                              serve waits on its own backoff and, failing
//                              on, is reported ("Error=DownloadSeed", the
//                              HTTP status) while the rest goes on; a full
//                              disk gives "Error=WriteFile"
//  15 DOWNLOAD_COMPLETED       every piece verified on disk; the engine ends
//                              and the core waits for "quit"
//  16 TO_QUIT                  main: "quit" received, saving the state
//  17 QUIT                     the server was unreachable for "-GiveUpAfter"
//                              seconds in phases 5, 8 or 14: the core says so
//                              and exits, and the installer starts a new one
//
// An error clears ("Error=None") once the operation that reported it
// succeeds.
#pragma once

#include "core/CoreOptions.h"
#include "core/StatusBoard.h"

#include <atomic>
#include <thread>

namespace zdl::core {

class DownloadEngine {
public:
    DownloadEngine(const CoreOptions& options, StatusBoard& board);
    ~DownloadEngine();

    void Start();
    // Asks the phases to end as soon as possible, saving the resume state.
    void RequestStop();
    void Join();
    bool Finished() const { return finished_.load(); }

private:
    void Run();

    CoreOptions options_;
    StatusBoard& board_;
    std::atomic<bool> stop_ { false };
    std::atomic<bool> finished_ { false };
    std::thread thread_;
};

} // namespace zdl::core
