#include "core/CoreOptions.h"

#include "core/PeerDiscovery.h"
#include "core/ReleaseSignature.h"
#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <set>

namespace zdl::core {

namespace {

    bool ParseInt(const std::string& text, long lo, long hi, int* out)
    {
        if (text.empty() || text.size() > 12)
            return false;
        const char* s = text.c_str();
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(s, &end, 10);
        if (errno != 0 || *end != '\0' || end == s || (text[0] != '-' && (text[0] < '0' || text[0] > '9')))
            return false;
        if (v < lo || v > hi)
            return false;
        *out = static_cast<int>(v);
        return true;
    }

    bool HasControlOrSpace(const std::string& s)
    {
        for (unsigned char c : s)
            if (c <= 0x20 || c == 0x7f)
                return true;
        return false;
    }

    bool HasControl(const std::string& s)
    {
        for (unsigned char c : s)
            if (c < 0x20 || c == 0x7f)
                return true;
        return false;
    }

    // True when the last character (not the second byte of a double-byte
    // character, which may be 0x5C) is a path separator.
    bool EndsWithSeparator(const std::string& s)
    {
        size_t i = 0;
        bool separator = false;
        while (i < s.size()) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c >= 0x81 && c <= 0xfe && i + 1 < s.size()) {
                separator = false;
                i += 2;
            } else {
                separator = c == '\\' || c == '/';
                ++i;
            }
        }
        return separator;
    }

    std::string StripQuotes(const std::string& s)
    {
        if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
            return s.substr(1, s.size() - 2);
        return s;
    }

} // namespace

bool ParseCoreOptions(const std::vector<std::string>& args, CoreOptions* o, std::string* error)
{
    std::set<std::string> seen;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() < 2 || a[0] != '-') {
            *error = "unexpected argument \"" + a + "\"";
            return false;
        }
        std::string word = a.substr(1);
        if (!seen.insert(word).second) {
            *error = "option -" + word + " given twice";
            return false;
        }
        if (word == "DeleteDownloadInfo") {
            o->deleteDownloadInfo = true;
            continue;
        }
        static const std::set<std::string> kWithValue = { "Dir", "HttpUrl", "Torrent", "Mode", "HttpThread",
            "P2PUploadThread", "P2PUploadListSize", "DownloadLimit", "UploadLimit", "InteractivePort", "GiveUpAfter",
            "StateSaveInterval", "TrustedKey", "P2PShare", "P2PInterface", "P2PDiscoveryPort" };
        if (!kWithValue.count(word)) {
            *error = "unknown option -" + word;
            return false;
        }
        if (i + 1 >= args.size()) {
            *error = "option -" + word + " needs a value";
            return false;
        }
        const std::string value = args[++i];
        bool ok = true;
        if (word == "Dir") {
            // The shell normally removes the quotation marks; a caller that
            // passes them through still gets the folder it meant.
            std::string dir = StripQuotes(value);
            while (dir.size() > 1 && EndsWithSeparator(dir) && !(dir.size() == 3 && dir[1] == ':'))
                dir.pop_back();
            ok = !dir.empty() && dir.size() <= kMaxDirBytes && !HasControl(dir);
            o->dir = dir;
        } else if (word == "HttpUrl") {
            // One base, or several (mirrors of the same release) separated
            // by ";"; empty parts (a trailing ";") are skipped.
            o->httpUrls.clear();
            size_t start = 0;
            while (ok && start <= value.size()) {
                size_t end = std::min(value.find(';', start), value.size());
                std::string url = value.substr(start, end - start);
                start = end + 1;
                if (url.empty())
                    continue;
                while (!url.empty() && url.back() == '/')
                    url.pop_back();
                ok = url.size() <= kMaxUrlBytes && !HasControlOrSpace(url)
                    && ((url.compare(0, 7, "http://") == 0 && url.size() > 7)
                        || (url.compare(0, 8, "https://") == 0 && url.size() > 8));
                if (ok && std::find(o->httpUrls.begin(), o->httpUrls.end(), url) == o->httpUrls.end())
                    o->httpUrls.push_back(url);
                ok = ok && o->httpUrls.size() <= kMaxMirrors;
            }
            ok = ok && !o->httpUrls.empty();
            o->httpUrl = ok ? o->httpUrls.front() : std::string();
        } else if (word == "Torrent") {
            ok = !value.empty() && value.size() <= kMaxTorrentNameBytes && !HasControlOrSpace(value)
                && value.find_first_of("/\\:") == std::string::npos && value != "." && value != "..";
            o->torrent = value;
        } else if (word == "Mode") {
            ok = value == "download";
            o->mode = value;
        } else if (word == "HttpThread") {
            ok = ParseInt(value, 1, kMaxHttpThreads, &o->httpThreads);
        } else if (word == "P2PUploadThread") {
            ok = ParseInt(value, 0, 256, &o->p2pUploadThreads);
        } else if (word == "P2PUploadListSize") {
            ok = ParseInt(value, 0, 4096, &o->p2pUploadListSize);
        } else if (word == "DownloadLimit") {
            ok = ParseInt(value, -1, kMaxLimitKBps, &o->downloadLimitKBps);
        } else if (word == "UploadLimit") {
            ok = ParseInt(value, -1, kMaxLimitKBps, &o->uploadLimitKBps);
        } else if (word == "InteractivePort") {
            ok = ParseInt(value, 1, 65535, &o->interactivePort);
        } else if (word == "GiveUpAfter") {
            ok = ParseInt(value, 1, 86400, &o->giveUpSeconds);
        } else if (word == "StateSaveInterval") {
            ok = ParseInt(value, 50, 600000, &o->stateSaveMs);
        } else if (word == "P2PShare") {
            ok = value == "0" || value == "1";
            o->p2pShare = value == "1";
        } else if (word == "P2PInterface") {
            uint32_t address = 0;
            ok = ParseIpv4(value, &address) && IsLocalNetworkAddress(address);
            o->p2pInterface = value;
        } else if (word == "P2PDiscoveryPort") {
            ok = ParseInt(value, 1, 65535, &o->p2pDiscoveryPort);
        } else if (word == "TrustedKey") {
            PublicKey key;
            ok = ParsePublicKey(value, &key);
            o->trustedKey = value;
        } else {
            *error = "unknown option -" + word;
            return false;
        }
        if (!ok) {
            *error = "bad value \"" + value + "\" for option -" + word;
            return false;
        }
    }
    for (const char* required : { "Dir", "HttpUrl", "Torrent" }) {
        if (!seen.count(required)) {
            *error = std::string("missing option -") + required;
            return false;
        }
    }
    for (int* limit : { &o->downloadLimitKBps, &o->uploadLimitKBps })
        if (*limit < 0 || *limit > kUnlimitedAboveKBps)
            *limit = 0;
    return true;
}

} // namespace zdl::core
