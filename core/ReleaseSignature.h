// The publisher's signature of a release: an Ed25519 signature of the
// digest file ("<description>.digest") in minisign's format, served beside
// it as "<description>.digest.minisig". Every server is an untrusted cache;
// a core built with the publisher's public key takes only a digest whose
// signature verifies, so the description it vouches for, and every piece
// the description hashes, is what the publisher signed.
//
// A public key is minisign's key line, the base64 of
//   "Ed" | key id (8 bytes) | Ed25519 public key (32 bytes)
// (the second line of a minisign.pub file). A signature file is four lines:
//   untrusted comment: <anything>
//   base64 of  "ED" or "Ed" | key id (8) | signature (64)
//   trusted comment: <text>
//   base64 of  global signature (64)
// "ED" signs BLAKE2b-512 of the file (minisign's default), "Ed" the file
// itself (minisign -l). The global signature covers the signature bytes
// followed by the trusted comment's text, so the comment cannot be changed
// either. minisign writes "timestamp:<unix time>" into it; that time orders
// releases (the release record below) and a signature without it is
// refused.
//
// Pure functions over bytes; any thread.
#pragma once

#include "platform/Sha256.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zdl::core {

// "ErrorCode" of a refused signature ("Error=DownloadTorrent", "ErrorFile"
// the signature file's name).
constexpr int kCodeNoSignature = 1010; // the server has no signature file
constexpr int kCodeMalformedSignature = 1011; // not a minisign signature, or cut short
constexpr int kCodeUnknownKey = 1012; // signed, but by a key this build does not trust
constexpr int kCodeBadSignature = 1013; // the digest, signature or trusted comment changed
constexpr int kCodeOlderRelease = 1014; // older than the release the folder holds
constexpr int kCodeNoSignedTime = 1015; // the trusted comment carries no time stamp

// A .minisig is about 300 bytes; minisign bounds each comment to 1 KiB.
constexpr size_t kMaxSignatureBytes = 4096;
// The key of today and the one it is being rotated to.
constexpr size_t kMaxTrustedKeys = 2;

struct PublicKey {
    std::array<uint8_t, 8> id {};
    std::array<uint8_t, 32> key {};
};

// One key line (blanks around it allowed), or a whole minisign.pub text
// whose first line is an untrusted comment.
bool ParsePublicKey(const std::string& text, PublicKey* out);

// The key id as minisign prints it ("C9092B0758F7FBAD").
std::string KeyIdText(const std::array<uint8_t, 8>& id);

enum class SignatureVerdict {
    Valid,
    Malformed, // not four lines of minisign's form, bad base64, wrong lengths, or cut short
    UnknownKey, // made by a key this build does not trust
    BadSignature, // the file, the signature or the trusted comment changed
    NoTimestamp, // valid, but no "timestamp:" in the trusted comment
};

struct SignatureCheck {
    SignatureVerdict verdict = SignatureVerdict::Malformed;
    std::array<uint8_t, 8> keyId {}; // once the signature line is read
    int64_t timestamp = 0; // Valid only
    std::string trustedComment; // once the comment line is read
    std::string reason; // one line for the log, empty when Valid
};

// Checks `signature` (the .minisig text) over `signedBytes` (the digest
// file's exact bytes) against the trusted keys.
SignatureCheck VerifyReleaseSignature(
    const std::string& signature, const std::string& signedBytes, const std::vector<PublicKey>& keys);

// The "timestamp:" value of a trusted comment: at its start or after a blank,
// decimal, ended by a blank or the end. False when absent or malformed.
bool TrustedTimestamp(const std::string& trustedComment, int64_t* timestamp);

// The newest signed release an install folder has accepted, kept as
// "<install folder>/.zdlcore/release" (one line "ZDLRELEASE 1 <timestamp>
// <sha256 of the description>"). The core's other files leave that folder
// when a download completes; this one stays, so that a later run, or a
// later core, never installs an older release over a newer one: a server
// replaying an old, validly signed release is refused like a bad signature.
constexpr char kReleaseRecordName[] = "release";
constexpr size_t kMaxReleaseRecordBytes = 128;

struct ReleaseRecord {
    int64_t timestamp = 0;
    Sha256Digest description {};
};

std::string MakeReleaseRecord(const ReleaseRecord& record);
bool ParseReleaseRecord(const std::string& text, ReleaseRecord* record);

// Whether a folder holding `held` may take `next`: a newer time stamp, or
// the very same release again. Two different releases signed in the same
// second cannot be ordered and the second is refused.
bool MayFollow(const ReleaseRecord& held, const ReleaseRecord& next);

} // namespace zdl::core
