// The download core's command line. The installer writes, in this order:
//   -Dir "<install folder>" -HttpUrl <base>[;<base>...] -Torrent <description name>
//   -Mode download -HttpThread n -P2PUploadThread n -P2PUploadListSize n
//   -DownloadLimit kb -UploadLimit kb [-DeleteDownloadInfo] -InteractivePort p
// The parser accepts the options in any order, each at most once. Options
// the installer never sends ("-GiveUpAfter", "-StateSaveInterval") tune
// the core for tests and benchmarks; so does "-TrustedKey", which a build
// with the publisher's key built in ignores. "-P2PShare 0" turns sharing
// with peers on the local network off (the installer sends it from its
// settings); "-P2PInterface a.b.c.d" pins the address the peer server
// listens on and discovery uses (tests pin 127.0.0.1), and
// "-P2PDiscoveryPort" the discovery's UDP port.
#pragma once

#include <string>
#include <vector>

namespace zdl::core {

// Limits on option values; anything outside is a parse error. The folder
// and the limits take every value the installer can send: a folder fills at
// most the classic 260-byte path buffer with its final zero, and a limit is
// any positive 32-bit count.
constexpr size_t kMaxDirBytes = 259;
constexpr size_t kMaxUrlBytes = 2048; // one base address
constexpr size_t kMaxMirrors = 16; // bases in "-HttpUrl"
constexpr size_t kMaxTorrentNameBytes = 200;
constexpr int kMaxHttpThreads = 32;
constexpr int kMaxLimitKBps = 2147483647;
// A limit above this (100 GiB/s) is no limit: the core runs unlimited.
constexpr int kUnlimitedAboveKBps = 100 * 1024 * 1024;

struct CoreOptions {
    std::string dir; // install folder, no trailing separator
    // The server bases ("-HttpUrl", split at ";"): mirrors of the same
    // release, in the publisher's order, each without a trailing slash.
    std::vector<std::string> httpUrls;
    std::string httpUrl; // the first of httpUrls
    std::string torrent; // description file name under httpUrl
    std::string mode = "download";
    int httpThreads = 4;
    int p2pUploadThreads = 6;
    int p2pUploadListSize = 12;
    int downloadLimitKBps = 0; // 0: unlimited (as are -1 and values above kUnlimitedAboveKBps)
    int uploadLimitKBps = 0;
    bool deleteDownloadInfo = false;
    int interactivePort = 0; // 0: no channel (manual runs)
    int giveUpSeconds = 300; // server unreachable this long: state 17
    int stateSaveMs = 1000; // resume state checkpoint interval
    std::string trustedKey; // "-TrustedKey": a minisign key line (BuiltInKeys.h)
    bool p2pShare = true; // "-P2PShare 0|1": serve and fetch pieces among peers
    std::string p2pInterface; // empty: the address of the default route's interface
    int p2pDiscoveryPort = 0; // 0: the discovery's own port
};

// Parses argv[1..]. On failure `error` holds a one-line message naming the
// offending option.
bool ParseCoreOptions(const std::vector<std::string>& args, CoreOptions* options, std::string* error);

} // namespace zdl::core
