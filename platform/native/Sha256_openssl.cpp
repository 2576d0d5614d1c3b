#include "platform/Sha256.h"

#include <openssl/evp.h>

namespace zdl {

struct Sha256::Impl {
    EVP_MD_CTX* ctx = nullptr;
    ~Impl() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256()
    : impl_(new Impl)
{
    impl_->ctx = EVP_MD_CTX_new();
    if (!impl_->ctx || EVP_DigestInit_ex(impl_->ctx, EVP_sha256(), nullptr) != 1)
        impl_.reset();
}

Sha256::~Sha256() = default;

void Sha256::Update(const void* data, size_t size)
{
    if (impl_)
        EVP_DigestUpdate(impl_->ctx, data, size);
}

Sha256Digest Sha256::Final()
{
    Sha256Digest digest {};
    if (!impl_)
        return digest;
    unsigned int n = 0;
    EVP_DigestFinal_ex(impl_->ctx, digest.data(), &n);
    EVP_DigestInit_ex(impl_->ctx, EVP_sha256(), nullptr);
    return digest;
}

} // namespace zdl
