// SHA-256 through the platform's own crypto: OpenSSL's libcrypto on Linux,
// CNG (BCrypt) on Windows. No hash code of our own.
//
// A Sha256 object hashes one stream incrementally; it is not shared between
// threads (each thread uses its own object).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zdl {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // False only if the system's crypto provider is unavailable.
    bool ok() const { return impl_ != nullptr; }
    void Update(const void* data, size_t size);
    // Finishes the digest and resets the object for a new stream.
    Sha256Digest Final();

    static Sha256Digest Of(const void* data, size_t size);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_; // owned
};

// Lower-case hexadecimal form of a digest (64 characters).
std::string ToHex(const Sha256Digest& digest);
// Parses 64 hexadecimal digits; false on any other input.
bool FromHex(const std::string& hex, Sha256Digest* out);

} // namespace zdl
