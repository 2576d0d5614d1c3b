#include "core/ReleaseSignature.h"

#include <sodium.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace zdl::core {

namespace {

    constexpr char kUntrustedPrefix[] = "untrusted comment: ";
    constexpr char kTrustedPrefix[] = "trusted comment: ";
    constexpr size_t kMaxCommentBytes = 1024; // minisign's own bound
    constexpr size_t kKeyBlobBytes = 2 + 8 + crypto_sign_PUBLICKEYBYTES;
    constexpr size_t kSigBlobBytes = 2 + 8 + crypto_sign_BYTES;

    bool StartsWith(const std::string& s, const char* prefix)
    {
        return s.compare(0, std::strlen(prefix), prefix) == 0;
    }

    // Standard base64 with padding, nothing else on the line; the decoded
    // length must be exactly `want`.
    bool DecodeBase64(const std::string& text, size_t want, std::vector<uint8_t>* out)
    {
        out->assign(want + 1, 0); // one spare byte: a longer blob fails below
        size_t len = 0;
        const char* end = nullptr;
        if (sodium_base642bin(
                out->data(), out->size(), text.data(), text.size(), nullptr, &len, &end, sodium_base64_VARIANT_ORIGINAL)
                != 0
            || end != text.data() + text.size() || len != want)
            return false;
        out->resize(len);
        return true;
    }

    // Splits at line feeds; a carriage return before one is dropped, and
    // empty lines at the end are ignored.
    std::vector<std::string> Lines(const std::string& text)
    {
        std::vector<std::string> lines;
        size_t at = 0;
        while (at < text.size()) {
            size_t nl = text.find('\n', at);
            size_t end = nl == std::string::npos ? text.size() : nl;
            std::string line = text.substr(at, end - at);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            at = end + 1;
        }
        while (!lines.empty() && lines.back().empty())
            lines.pop_back();
        return lines;
    }

    std::string Trimmed(const std::string& s)
    {
        size_t a = s.find_first_not_of(" \t\r\n");
        if (a == std::string::npos)
            return std::string();
        size_t b = s.find_last_not_of(" \t\r\n");
        return s.substr(a, b - a + 1);
    }

    bool SodiumReady()
    {
        static const bool ready = sodium_init() >= 0;
        return ready;
    }

    SignatureCheck Refuse(SignatureCheck c, SignatureVerdict v, const std::string& reason)
    {
        c.verdict = v;
        c.reason = reason;
        return c;
    }

} // namespace

bool ParsePublicKey(const std::string& text, PublicKey* out)
{
    std::vector<std::string> lines = Lines(Trimmed(text));
    if (lines.empty() || lines.size() > 2 || (lines.size() == 2 && !StartsWith(lines[0], kUntrustedPrefix)))
        return false;
    std::vector<uint8_t> blob;
    if (!DecodeBase64(Trimmed(lines.back()), kKeyBlobBytes, &blob) || blob[0] != 'E' || blob[1] != 'd')
        return false;
    std::memcpy(out->id.data(), blob.data() + 2, out->id.size());
    std::memcpy(out->key.data(), blob.data() + 10, out->key.size());
    return true;
}

std::string KeyIdText(const std::array<uint8_t, 8>& id)
{
    // minisign prints the id as a little-endian 64-bit number.
    static const char hex[] = "0123456789ABCDEF";
    std::string s;
    for (size_t i = id.size(); i-- > 0;) {
        s += hex[id[i] >> 4];
        s += hex[id[i] & 15];
    }
    return s;
}

bool TrustedTimestamp(const std::string& comment, int64_t* timestamp)
{
    static const char kKey[] = "timestamp:";
    for (size_t at = comment.find(kKey); at != std::string::npos; at = comment.find(kKey, at + 1)) {
        if (at > 0 && comment[at - 1] != '\t' && comment[at - 1] != ' ')
            continue;
        size_t p = at + sizeof kKey - 1;
        int64_t value = 0;
        size_t digits = 0;
        for (; p < comment.size() && comment[p] >= '0' && comment[p] <= '9'; ++p, ++digits) {
            if (value > (INT64_MAX - 9) / 10)
                return false;
            value = value * 10 + (comment[p] - '0');
        }
        if (digits == 0 || (p < comment.size() && comment[p] != '\t' && comment[p] != ' '))
            return false;
        *timestamp = value;
        return true;
    }
    return false;
}

SignatureCheck VerifyReleaseSignature(
    const std::string& signature, const std::string& signedBytes, const std::vector<PublicKey>& keys)
{
    SignatureCheck c;
    if (!SodiumReady())
        return Refuse(c, SignatureVerdict::Malformed, "the signature library did not start");
    if (signature.size() > kMaxSignatureBytes)
        return Refuse(c, SignatureVerdict::Malformed, "signature file too large");
    std::vector<std::string> lines = Lines(signature);
    if (lines.size() != 4)
        return Refuse(c, SignatureVerdict::Malformed, "not the four lines of a minisign signature");
    if (!StartsWith(lines[0], kUntrustedPrefix) || lines[0].size() > kMaxCommentBytes + sizeof kUntrustedPrefix)
        return Refuse(c, SignatureVerdict::Malformed, "no untrusted comment line");
    std::vector<uint8_t> sig;
    if (!DecodeBase64(lines[1], kSigBlobBytes, &sig))
        return Refuse(c, SignatureVerdict::Malformed, "the signature line is not a minisign signature");
    const bool prehashed = sig[0] == 'E' && sig[1] == 'D';
    if (!prehashed && !(sig[0] == 'E' && sig[1] == 'd'))
        return Refuse(c, SignatureVerdict::Malformed, "unknown signature algorithm");
    std::memcpy(c.keyId.data(), sig.data() + 2, c.keyId.size());
    if (!StartsWith(lines[2], kTrustedPrefix) || lines[2].size() > kMaxCommentBytes + sizeof kTrustedPrefix)
        return Refuse(c, SignatureVerdict::Malformed, "no trusted comment line");
    c.trustedComment = lines[2].substr(sizeof kTrustedPrefix - 1);
    std::vector<uint8_t> global;
    if (!DecodeBase64(lines[3], crypto_sign_BYTES, &global))
        return Refuse(c, SignatureVerdict::Malformed, "the global signature line is not a signature");

    const PublicKey* key = nullptr;
    for (const PublicKey& k : keys)
        if (k.id == c.keyId)
            key = &k;
    if (!key)
        return Refuse(c, SignatureVerdict::UnknownKey, "signed by key " + KeyIdText(c.keyId) + ", not a trusted one");

    const uint8_t* sigBytes = sig.data() + 10;
    int bad;
    if (prehashed) {
        uint8_t hash[crypto_generichash_BYTES_MAX];
        crypto_generichash(
            hash, sizeof hash, reinterpret_cast<const uint8_t*>(signedBytes.data()), signedBytes.size(), nullptr, 0);
        bad = crypto_sign_verify_detached(sigBytes, hash, sizeof hash, key->key.data());
    } else {
        bad = crypto_sign_verify_detached(
            sigBytes, reinterpret_cast<const uint8_t*>(signedBytes.data()), signedBytes.size(), key->key.data());
    }
    if (bad)
        return Refuse(c, SignatureVerdict::BadSignature, "the signature does not match the digest file");
    std::vector<uint8_t> covered(sigBytes, sigBytes + crypto_sign_BYTES);
    covered.insert(covered.end(), c.trustedComment.begin(), c.trustedComment.end());
    if (crypto_sign_verify_detached(global.data(), covered.data(), covered.size(), key->key.data()))
        return Refuse(c, SignatureVerdict::BadSignature, "the trusted comment was changed");
    if (!TrustedTimestamp(c.trustedComment, &c.timestamp))
        return Refuse(c, SignatureVerdict::NoTimestamp, "the trusted comment has no timestamp");
    c.verdict = SignatureVerdict::Valid;
    return c;
}

std::string MakeReleaseRecord(const ReleaseRecord& r)
{
    char head[48];
    std::snprintf(head, sizeof head, "ZDLRELEASE 1 %" PRId64 " ", r.timestamp);
    return head + ToHex(r.description) + "\n";
}

bool ParseReleaseRecord(const std::string& text, ReleaseRecord* r)
{
    static const std::string kHead = "ZDLRELEASE 1 ";
    if (text.size() > kMaxReleaseRecordBytes || text.compare(0, kHead.size(), kHead) != 0)
        return false;
    size_t space = text.find(' ', kHead.size());
    if (space == std::string::npos
        || !TrustedTimestamp("timestamp:" + text.substr(kHead.size(), space - kHead.size()), &r->timestamp))
        return false;
    std::string hex = text.substr(space + 1);
    if (!hex.empty() && hex.back() == '\n')
        hex.pop_back();
    return hex.size() == 64 && FromHex(hex, &r->description);
}

bool MayFollow(const ReleaseRecord& held, const ReleaseRecord& next)
{
    return next.timestamp > held.timestamp
        || (next.timestamp == held.timestamp && next.description == held.description);
}

} // namespace zdl::core
