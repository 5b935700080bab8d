// MD5 through the CryptoAPI, with a throw-away (verify) context of the
// default RSA provider, so that no key container is needed or created.
#include "platform/Md5.h"

#include <windows.h>
#include <wincrypt.h>

#include <limits>

namespace platform {

std::optional<Md5Digest> computeMd5(const unsigned char *data, std::size_t size)
{
    if (size > std::numeric_limits<DWORD>::max())
        return std::nullopt;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_MACHINE_KEYSET))
        return std::nullopt;

    std::optional<Md5Digest> result;
    HCRYPTHASH hash = 0;
    if (CryptCreateHash(provider, CALG_MD5, 0, 0, &hash)) {
        Md5Digest digest{};
        DWORD length = static_cast<DWORD>(digest.size());
        if (CryptHashData(hash, data, static_cast<DWORD>(size), 0)
            && CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &length, 0) && length == digest.size())
            result = digest;
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return result;
}

} // namespace platform
