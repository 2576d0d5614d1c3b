#include "tools/mkdesc/PublicationCheck.h"

#include "core/DownloadDescription.h"
#include "core/HttpTransport.h"
#include "platform/Console.h"

#include <curl/curl.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <vector>

namespace zdl::mkdesc {

using core::DownloadDescription;

namespace {

    // One GET of a byte range on a reused handle (keep-alive).
    struct RangeAnswer {
        long status = 0; // 0: no HTTP answer
        std::string error; // curl's words when there was no answer
        std::string body; // at most the range's length
        int64_t total = -1; // the file size from Content-Range, -1 if none
        int64_t contentLength = -1;
    };

    struct Sink {
        std::string* body;
        size_t max;
    };

    size_t Collect(char* data, size_t size, size_t n, void* user)
    {
        auto* s = static_cast<Sink*>(user);
        size_t bytes = size * n;
        if (bytes > s->max - s->body->size())
            return 0; // more than asked for: a server that ignores Range
        s->body->append(data, bytes);
        return bytes;
    }

    // "Content-Range: bytes a-b/total" or "bytes */total".
    size_t ReadHeader(char* data, size_t size, size_t n, void* user)
    {
        const std::string line(data, size * n);
        const std::string key = "content-range:";
        if (line.size() > key.size()) {
            std::string head = line.substr(0, key.size());
            for (char& c : head)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            size_t slash = line.find('/');
            if (head == key && slash != std::string::npos) {
                char* end = nullptr;
                long long total = std::strtoll(line.c_str() + slash + 1, &end, 10);
                if (end != line.c_str() + slash + 1 && total >= 0)
                    *static_cast<int64_t*>(user) = total;
            }
        }
        return size * n;
    }

    RangeAnswer GetRange(CURL* h, const std::string& url, uint64_t offset, uint32_t length)
    {
        RangeAnswer a;
        Sink sink { &a.body, length };
        char why[CURL_ERROR_SIZE] = "";
        const std::string range = std::to_string(offset) + "-" + std::to_string(offset + length - 1);
        core::ApplyCommonOptions(h, url);
        curl_easy_setopt(h, CURLOPT_RANGE, range.c_str());
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, why);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, ReadHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &a.total);
        CURLcode rc = curl_easy_perform(h);
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &a.status);
        curl_off_t cl = -1;
        curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &cl);
        a.contentLength = cl;
        if (a.status == 0)
            a.error = why[0] ? why : curl_easy_strerror(rc);
        else if (rc != CURLE_OK && rc != CURLE_WRITE_ERROR && a.status == 206)
            a.error = why[0] ? why : curl_easy_strerror(rc); // cut off in the body
        return a;
    }

    std::string Shown(const std::string& gbk)
    {
        return GbkToUtf8(gbk);
    }

    // The problems of one file, joined; empty when it is served whole.
    class FileCheck {
    public:
        FileCheck(CURL* h, const DownloadDescription& d, const std::string& httpUrl, uint32_t file, bool all)
            : h_(h)
            , d_(d)
            , url_(core::FileAddress(httpUrl, d, file))
            , file_(file)
            , all_(all)
        {
        }

        std::string Run(CheckSummary* summary)
        {
            const core::DescribedFile& f = d_.files[file_];
            if (f.size == 0)
                return CheckEmpty(summary);
            for (uint32_t i = 0; i < f.pieceCount; ++i) {
                if (!all_ && i != 0 && i + 1 != f.pieceCount)
                    continue;
                if (!CheckPiece(f.firstPiece + i, summary))
                    break;
            }
            return problems_;
        }

    private:
        void Problem(const std::string& what) { problems_ += (problems_.empty() ? "" : "; ") + what; }

        std::string SizeProblem(int64_t served) const
        {
            return std::to_string(served) + " bytes on the server, " + std::to_string(d_.files[file_].size)
                + " described";
        }

        // An empty file is never fetched by the core; it should still be
        // there, and empty.
        std::string CheckEmpty(CheckSummary* summary)
        {
            std::string body, detail;
            long status = 0;
            std::atomic<bool> never { false };
            core::FetchOutcome r = core::FetchSmallFile(url_, 0, never, &body, &detail, &status);
            summary->bytes += body.size();
            if (status != 0 && status != 200)
                Problem("not served (HTTP " + std::to_string(status) + " for " + url_ + ")");
            else if (r == core::FetchOutcome::TooLarge)
                Problem("not empty on the server, empty in the description");
            else if (r != core::FetchOutcome::Ok)
                Problem("no answer: " + detail);
            return problems_;
        }

        // False when the rest of the file is not worth asking for.
        bool CheckPiece(uint32_t piece, CheckSummary* summary)
        {
            const core::PieceLocation loc = d_.Locate(piece);
            RangeAnswer a = GetRange(h_, url_, loc.offset, loc.length);
            summary->bytes += a.body.size();
            const int64_t described = static_cast<int64_t>(d_.files[file_].size);
            if (a.status == 0) {
                Problem("no answer: " + a.error);
                return false;
            }
            if (a.status == 200) {
                Problem("no Range support (the server sends the whole file to a range request)");
                if (a.contentLength >= 0 && a.contentLength != described)
                    Problem(SizeProblem(a.contentLength));
                return false;
            }
            if (a.status == 416) {
                Problem(a.total >= 0 ? SizeProblem(a.total) : "shorter than described (HTTP 416)");
                return false;
            }
            if (a.status != 206) {
                Problem("not served (HTTP " + std::to_string(a.status) + " for " + url_ + ")");
                return false;
            }
            if (a.total >= 0 && a.total != described) {
                Problem(SizeProblem(a.total));
                return false;
            }
            ++summary->pieces;
            if (a.body.size() != loc.length) {
                Problem("piece " + std::to_string(piece) + " cut short: " + std::to_string(a.body.size()) + " of "
                    + std::to_string(loc.length) + " bytes" + (a.error.empty() ? "" : " (" + a.error + ")"));
                return false;
            }
            if (Sha256::Of(a.body.data(), a.body.size()) != d_.pieceHashes[piece])
                Problem("piece " + std::to_string(piece) + " (bytes " + std::to_string(loc.offset) + "-"
                    + std::to_string(loc.offset + loc.length - 1) + ") differs from the description");
            return true;
        }

        CURL* h_;
        const DownloadDescription& d_;
        const std::string url_;
        const uint32_t file_;
        const bool all_;
        std::string problems_;
    };

    // The digest's signature: with keys, as the core checks it; without,
    // read only. False with a message when the core would refuse it.
    bool CheckSignature(const std::string& digestUrl, const std::string& digestBytes,
        const std::vector<core::PublicKey>& keys, std::FILE* out)
    {
        const std::string url = digestUrl + ".minisig";
        std::atomic<bool> never { false };
        std::string sig, detail;
        long status = 0;
        core::FetchOutcome r = core::FetchSmallFile(url, core::kMaxSignatureBytes, never, &sig, &detail, &status);
        if (r != core::FetchOutcome::Ok) {
            if (keys.empty() && (status == 404 || status == 410)) {
                std::fprintf(
                    out, "ok      signature %s: none (only a build without a key takes this release)\n", url.c_str());
                return true;
            }
            std::fprintf(out, "FAILED  signature %s: %s\n", url.c_str(),
                status == 404 || status == 410 ? "not served; a build with a key refuses the release" : detail.c_str());
            return false;
        }
        if (keys.empty()) {
            // No key to check it with: whatever it says, say what it claims.
            core::SignatureCheck c = core::VerifyReleaseSignature(sig, digestBytes, {});
            if (c.verdict == core::SignatureVerdict::Malformed) {
                std::fprintf(out, "FAILED  signature %s: %s\n", url.c_str(), c.reason.c_str());
                return false;
            }
            std::fprintf(out, "ok      signature %s: by key %s, \"%s\" (not verified: give --key)\n", url.c_str(),
                core::KeyIdText(c.keyId).c_str(), c.trustedComment.c_str());
            return true;
        }
        core::SignatureCheck c = core::VerifyReleaseSignature(sig, digestBytes, keys);
        if (c.verdict != core::SignatureVerdict::Valid) {
            std::fprintf(out, "FAILED  signature %s: %s\n", url.c_str(), c.reason.c_str());
            return false;
        }
        std::fprintf(out, "ok      signature %s: by key %s, signed at %lld\n", url.c_str(),
            core::KeyIdText(c.keyId).c_str(), static_cast<long long>(c.timestamp));
        return true;
    }

    // Reads the digest and the description it vouches for, as the core
    // does; false with a message on `out` when either is unusable.
    bool ReadDescription(
        const std::string& url, const std::vector<core::PublicKey>& keys, DownloadDescription* d, std::FILE* out)
    {
        std::atomic<bool> never { false };
        std::string body, detail;
        long status = 0;
        Sha256Digest digest {};
        uint64_t size = 0;
        core::FetchOutcome r = core::FetchSmallFile(url + ".digest", core::kMaxDigestBytes, never, &body, &detail);
        if (r != core::FetchOutcome::Ok) {
            std::fprintf(out, "FAILED  digest %s.digest: %s\n", url.c_str(), detail.c_str());
            return false;
        }
        if (!core::ParseDigestText(body, &digest, &size)) {
            std::fprintf(out, "FAILED  digest %s.digest: not a digest line\n", url.c_str());
            return false;
        }
        if (!CheckSignature(url + ".digest", body, keys, out))
            return false;
        r = core::FetchSmallFile(url, static_cast<size_t>(size), never, &body, &detail, &status);
        if (r == core::FetchOutcome::TooLarge) {
            std::fprintf(out, "FAILED  description %s: larger than its digest says (%llu bytes)\n", url.c_str(),
                static_cast<unsigned long long>(size));
            return false;
        }
        if (r != core::FetchOutcome::Ok) {
            std::fprintf(out, "FAILED  description %s: %s\n", url.c_str(), detail.c_str());
            return false;
        }
        if (body.size() != size || Sha256::Of(body.data(), body.size()) != digest) {
            std::fprintf(out,
                "FAILED  description %s: does not match its digest (both files must come from one zdl-mkdesc "
                "run)\n",
                url.c_str());
            return false;
        }
        std::string why;
        if (!core::ParseDescription(body, d, &why)) {
            std::fprintf(out, "FAILED  description %s: refused: %s\n", url.c_str(), Shown(why).c_str());
            return false;
        }
        std::fprintf(out, "ok      description %s: %zu files, %u pieces, %llu bytes, names on the server in %s\n",
            url.c_str(), d->files.size(), d->PieceCount(), static_cast<unsigned long long>(d->totalSize),
            d->serverNames == core::ServerNames::Utf8 ? "UTF-8" : "GBK");
        return true;
    }

} // namespace

bool CheckPublication(const CheckSettings& s, std::FILE* out, CheckSummary* summary)
{
    *summary = CheckSummary();
    const size_t slash = s.descriptionUrl.rfind('/');
    if (slash == std::string::npos || slash + 1 == s.descriptionUrl.size()) {
        std::fprintf(out, "FAILED  %s is not the address of a description file\n", s.descriptionUrl.c_str());
        return false;
    }
    DownloadDescription d;
    if (!ReadDescription(s.descriptionUrl, s.keys, &d, out))
        return false;
    summary->descriptionOk = true;
    const std::string httpUrl = s.descriptionUrl.substr(0, slash);
    std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
    if (!h) {
        std::fprintf(out, "FAILED  curl_easy_init\n");
        return false;
    }
    for (uint32_t i = 0; i < d.files.size(); ++i) {
        std::string problems = FileCheck(h.get(), d, httpUrl, i, s.allPieces).Run(summary);
        ++summary->files;
        const std::string name = Shown((d.root.empty() ? "" : d.root + "/") + d.files[i].path);
        if (problems.empty()) {
            std::fprintf(out, "ok      %s\n", name.c_str());
        } else {
            ++summary->badFiles;
            std::fprintf(out, "FAILED  %s: %s\n", name.c_str(), problems.c_str());
        }
    }
    std::fprintf(out, "%u files checked (%u pieces compared, %llu bytes read): ", summary->files, summary->pieces,
        static_cast<unsigned long long>(summary->bytes));
    if (summary->badFiles == 0)
        std::fprintf(out, "every file is served whole\n");
    else
        std::fprintf(out, "%u with problems; players cannot complete the download\n", summary->badFiles);
    return summary->badFiles == 0;
}

} // namespace zdl::mkdesc
