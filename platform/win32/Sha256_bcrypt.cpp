#include "platform/Sha256.h"

#include <windows.h>

#include <bcrypt.h>

namespace zdl {

// One algorithm provider for the process, opened on first use. BCrypt
// providers are safe to share between threads; hash objects are not.
static BCRYPT_ALG_HANDLE Provider()
{
    static BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE h = nullptr;
        if (BCryptOpenAlgorithmProvider(&h, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_HASH_REUSABLE_FLAG) != 0)
            h = nullptr;
        return h;
    }();
    return provider;
}

struct Sha256::Impl {
    BCRYPT_HASH_HANDLE hash = nullptr;
    ~Impl()
    {
        if (hash)
            BCryptDestroyHash(hash);
    }
};

Sha256::Sha256()
    : impl_(new Impl)
{
    BCRYPT_ALG_HANDLE provider = Provider();
    if (!provider || BCryptCreateHash(provider, &impl_->hash, nullptr, 0, nullptr, 0, BCRYPT_HASH_REUSABLE_FLAG) != 0)
        impl_.reset();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size)
{
    if (!impl_)
        return;
    // BCryptHashData takes a ULONG length; feed huge buffers in slices.
    auto p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        ULONG n = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
        BCryptHashData(impl_->hash, const_cast<PUCHAR>(p), n, 0);
        p += n;
        size -= n;
    }
}

Sha256Digest Sha256::Final()
{
    Sha256Digest digest {};
    if (impl_)
        BCryptFinishHash(impl_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    return digest;
}

} // namespace zdl
