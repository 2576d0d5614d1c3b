// bench_release_signature: what checking a release's signature costs the
// core, once per release (and again when a changed release is met): the
// signature file parsed and both Ed25519 signatures verified, for
// minisign's prehashed and legacy forms, over the signature fixtures made
// by the real minisign tool.
#include "core/ReleaseSignature.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace zdl::core;

namespace {

std::string Read(const std::string& name)
{
    std::ifstream in(std::string(ZDL_TEST_DATA_DIR) + "/signature/" + name, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

int main()
{
    PublicKey key;
    if (!ParsePublicKey(Read("release.pub"), &key)) {
        std::fprintf(stderr, "bench: no signature fixtures\n");
        return 1;
    }
    const std::string digest = Read("release.digest");
    constexpr int kRounds = 2000;
    for (const char* name : { "release.digest.ED.minisig", "release.digest.Ed.minisig" }) {
        const std::string sig = Read(name);
        if (VerifyReleaseSignature(sig, digest, { key }).verdict != SignatureVerdict::Valid) {
            std::fprintf(stderr, "bench: %s does not verify\n", name);
            return 1;
        }
        auto start = std::chrono::steady_clock::now();
        int valid = 0;
        for (int i = 0; i < kRounds; ++i)
            valid += VerifyReleaseSignature(sig, digest, { key }).verdict == SignatureVerdict::Valid;
        double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        std::printf("signature check per release (%s, %zu-byte digest file): %.1f us (%d rounds, %d valid)\n", name,
            digest.size(), us / kRounds, kRounds, valid);
    }
    return 0;
}
