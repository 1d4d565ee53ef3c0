#include "sha256.h"

#include <openssl/evp.h>

namespace vellomar {

struct Sha256::Context {
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>())
{
    reset();
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr);
}

void Sha256::update(const char *data, size_t size)
{
    EVP_DigestUpdate(m_context->ctx, data, size);
}

QByteArray Sha256::hex()
{
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_DigestFinal_ex(m_context->ctx, sum, &n);
    return QByteArray(reinterpret_cast<const char *>(sum), int(n)).toHex();
}

} // namespace vellomar
