// MD5 through OpenSSL's EVP interface (libcrypto).
#include "platform/Md5.h"

#include <openssl/evp.h>

#include <memory>

namespace platform {

std::optional<Md5Digest> computeMd5(const unsigned char *data, std::size_t size)
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context)
        return std::nullopt;
    Md5Digest digest{};
    unsigned int length = 0;
    // A provider that refuses MD5 (a FIPS-only setup) fails here.
    if (EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1
        || EVP_DigestUpdate(context.get(), data, size) != 1
        || EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
        return std::nullopt;
    return digest;
}

} // namespace platform
