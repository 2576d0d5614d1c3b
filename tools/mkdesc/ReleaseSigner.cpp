#include "tools/mkdesc/ReleaseSigner.h"

#include "core/ReleaseSignature.h"
#include "platform/FileSystem.h"

#include <sodium.h>

#include <cstring>
#include <ctime>
#include <vector>

namespace zdl::mkdesc {

namespace {

    constexpr size_t kSaltBytes = crypto_pwhash_scryptsalsa208sha256_SALTBYTES;
    constexpr size_t kSecretPartBytes = 8 + crypto_sign_SECRETKEYBYTES + 32; // key id, key, checksum
    constexpr size_t kSecretBlobBytes = 2 + 2 + 2 + kSaltBytes + 8 + 8 + kSecretPartBytes;
    constexpr size_t kPartAt = kSecretBlobBytes - kSecretPartBytes;
    constexpr size_t kMaxSignedBytes = 64u << 20;
    constexpr char kSecretComment[] = "untrusted comment: minisign encrypted secret key\n";

    std::string Base64(const uint8_t* data, size_t size)
    {
        std::string out(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
        sodium_bin2base64(out.data(), out.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
        out.resize(std::strlen(out.c_str()));
        return out;
    }

    void StoreLe64(uint8_t* p, uint64_t v)
    {
        for (int i = 0; i < 8; ++i)
            p[i] = static_cast<uint8_t>(v >> (8 * i));
    }

    uint64_t LoadLe64(const uint8_t* p)
    {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i)
            v = v << 8 | p[i];
        return v;
    }

    // BLAKE2b-256 of the algorithm, key id and secret key: minisign's check
    // that a password decrypted the key.
    void Checksum(const uint8_t* blob, uint8_t* out)
    {
        crypto_generichash_state st;
        crypto_generichash_init(&st, nullptr, 0, 32);
        crypto_generichash_update(&st, blob, 2);
        crypto_generichash_update(&st, blob + kPartAt, 8 + crypto_sign_SECRETKEYBYTES);
        crypto_generichash_final(&st, out, 32);
    }

    // XORs the secret part with the password's scrypt stream (both ways).
    bool Crypt(uint8_t* blob, const std::string& password)
    {
        std::vector<uint8_t> stream(kSecretPartBytes);
        if (crypto_pwhash_scryptsalsa208sha256(stream.data(), stream.size(), password.data(), password.size(), blob + 6,
                LoadLe64(blob + 6 + kSaltBytes), static_cast<size_t>(LoadLe64(blob + 14 + kSaltBytes)))
            != 0)
            return false;
        for (size_t i = 0; i < kSecretPartBytes; ++i)
            blob[kPartAt + i] ^= stream[i];
        sodium_memzero(stream.data(), stream.size());
        return true;
    }

    bool ReadSecretBlob(const std::string& file, std::vector<uint8_t>* blob, std::string* error)
    {
        std::string text;
        FsStatus st;
        if (!ReadWholeFile(file, 4096, &text, &st)) {
            *error = "cannot read the secret key " + file;
            return false;
        }
        size_t nl = text.find('\n');
        std::string line = nl == std::string::npos ? std::string() : text.substr(nl + 1);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        blob->assign(kSecretBlobBytes + 1, 0);
        size_t len = 0;
        const char* end = nullptr;
        if (text.compare(0, 19, "untrusted comment: ") != 0
            || sodium_base642bin(blob->data(), blob->size(), line.data(), line.size(), nullptr, &len, &end,
                   sodium_base64_VARIANT_ORIGINAL)
                != 0
            || end != line.data() + line.size() || len != kSecretBlobBytes || std::memcmp(blob->data(), "Ed", 2) != 0
            || std::memcmp(blob->data() + 4, "B2", 2) != 0) {
            *error = file + " is not a minisign secret key";
            return false;
        }
        blob->resize(len);
        return true;
    }

    bool Encrypted(const std::vector<uint8_t>& blob)
    {
        return std::memcmp(blob.data() + 2, "Sc", 2) == 0;
    }

} // namespace

bool MakeKeyPair(
    const std::string& publicFile, const std::string& secretFile, const std::string& password, std::string* error)
{
    if (sodium_init() < 0) {
        *error = "libsodium did not start";
        return false;
    }
    uint8_t blob[kSecretBlobBytes] = {};
    uint8_t pk[crypto_sign_PUBLICKEYBYTES];
    std::memcpy(blob, "Ed", 2);
    std::memcpy(blob + 4, "B2", 2);
    uint8_t* keyId = blob + kPartAt;
    uint8_t* sk = keyId + 8;
    randombytes_buf(keyId, 8);
    crypto_sign_keypair(pk, sk);
    Checksum(blob, sk + crypto_sign_SECRETKEYBYTES);
    uint8_t pub[2 + 8 + crypto_sign_PUBLICKEYBYTES];
    std::memcpy(pub, "Ed", 2);
    std::memcpy(pub + 2, keyId, 8);
    std::memcpy(pub + 10, pk, sizeof pk);
    std::array<uint8_t, 8> id {};
    std::memcpy(id.data(), keyId, 8);
    if (!password.empty()) {
        std::memcpy(blob + 2, "Sc", 2);
        randombytes_buf(blob + 6, kSaltBytes);
        StoreLe64(blob + 6 + kSaltBytes, crypto_pwhash_scryptsalsa208sha256_OPSLIMIT_SENSITIVE);
        StoreLe64(blob + 14 + kSaltBytes, crypto_pwhash_scryptsalsa208sha256_MEMLIMIT_SENSITIVE);
        if (!Crypt(blob, password)) {
            *error = "not enough memory to protect the key with the password";
            return false;
        }
    }
    const std::string secretText = kSecretComment + Base64(blob, sizeof blob) + "\n";
    sodium_memzero(blob, sizeof blob);
    FsStatus st;
    if (!WriteFileAtomically(secretFile, secretText, &st)
        || !WriteFileAtomically(publicFile,
            "untrusted comment: minisign public key " + core::KeyIdText(id) + "\n" + Base64(pub, sizeof pub) + "\n",
            &st)) {
        *error = "cannot write the key files (error " + std::to_string(st.code) + ")";
        return false;
    }
    return true;
}

bool SecretKeyHasPassword(const std::string& secretFile)
{
    std::vector<uint8_t> blob;
    std::string error;
    return ReadSecretBlob(secretFile, &blob, &error) && Encrypted(blob);
}

bool SignFile(const std::string& secretFile, const std::string& password, const std::string& file, std::string* error)
{
    if (sodium_init() < 0) {
        *error = "libsodium did not start";
        return false;
    }
    std::vector<uint8_t> blob;
    if (!ReadSecretBlob(secretFile, &blob, error))
        return false;
    if (Encrypted(blob) && !Crypt(blob.data(), password)) {
        *error = "not enough memory to open the secret key";
        return false;
    }
    const uint8_t* keyId = blob.data() + kPartAt;
    const uint8_t* sk = keyId + 8;
    // The secret key holds its public half: a wrong password shows there
    // (and in the checksum, which minisign leaves zero on plain keys).
    uint8_t pk[crypto_sign_PUBLICKEYBYTES], skAgain[crypto_sign_SECRETKEYBYTES], chk[32];
    crypto_sign_seed_keypair(pk, skAgain, sk);
    Checksum(blob.data(), chk);
    const uint8_t* stored = sk + crypto_sign_SECRETKEYBYTES;
    const bool zeroChk = sodium_is_zero(stored, 32) == 1;
    const bool ok = std::memcmp(skAgain, sk, sizeof skAgain) == 0 && (std::memcmp(chk, stored, 32) == 0 || zeroChk);
    sodium_memzero(skAgain, sizeof skAgain);
    if (!ok) {
        *error = Encrypted(blob) ? "wrong password for " + secretFile : secretFile + " is damaged";
        sodium_memzero(blob.data(), blob.size());
        return false;
    }
    std::string bytes;
    FsStatus st;
    if (!ReadWholeFile(file, kMaxSignedBytes, &bytes, &st)) {
        sodium_memzero(blob.data(), blob.size());
        *error = "cannot read " + file;
        return false;
    }
    uint8_t hash[crypto_generichash_BYTES_MAX];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr, 0);
    uint8_t sigBlob[2 + 8 + crypto_sign_BYTES];
    std::memcpy(sigBlob, "ED", 2);
    std::memcpy(sigBlob + 2, keyId, 8);
    crypto_sign_detached(sigBlob + 10, nullptr, hash, sizeof hash, sk);
    const size_t slash = file.find_last_of("/\\");
    const std::string trusted = "timestamp:" + std::to_string(static_cast<long long>(std::time(nullptr)))
        + "\tfile:" + (slash == std::string::npos ? file : file.substr(slash + 1)) + "\thashed";
    std::vector<uint8_t> covered(sigBlob + 10, sigBlob + 10 + crypto_sign_BYTES);
    covered.insert(covered.end(), trusted.begin(), trusted.end());
    uint8_t global[crypto_sign_BYTES];
    crypto_sign_detached(global, nullptr, covered.data(), covered.size(), sk);
    sodium_memzero(blob.data(), blob.size());
    const std::string text = "untrusted comment: signature from zdl-mkdesc secret key\n"
        + Base64(sigBlob, sizeof sigBlob) + "\ntrusted comment: " + trusted + "\n" + Base64(global, sizeof global)
        + "\n";
    if (!WriteFileAtomically(file + ".minisig", text, &st)) {
        *error = "cannot write " + file + ".minisig (error " + std::to_string(st.code) + ")";
        return false;
    }
    return true;
}

} // namespace zdl::mkdesc
