#include "engine/Md5.h"

#include <windows.h>
#include <wincrypt.h>

#include "win/Strings.h"
#include "win/UniqueHandle.h"

namespace {

struct CryptProviderTraits {
    using type = HCRYPTPROV;
    static type invalid() noexcept { return 0; }
    static void close(type h) noexcept { ::CryptReleaseContext(h, 0); }
};
struct CryptHashTraits {
    using type = HCRYPTHASH;
    static type invalid() noexcept { return 0; }
    static void close(type h) noexcept { ::CryptDestroyHash(h); }
};

}  // namespace

std::wstring Md5Hex(std::string_view bytes) {
    win::UniqueHandle<CryptProviderTraits> provider;
    if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return {};
    win::UniqueHandle<CryptHashTraits> hash;
    if (!::CryptCreateHash(provider.get(), CALG_MD5, 0, 0, hash.put())) return {};
    // Hashed in pieces, so no length can overflow the provider's 32-bit count.
    const BYTE* data = reinterpret_cast<const BYTE*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        DWORD chunk = static_cast<DWORD>(left > (1u << 30) ? (1u << 30) : left);
        if (!::CryptHashData(hash.get(), data, chunk, 0)) return {};
        data += chunk;
        left -= chunk;
    }
    BYTE digest[16] = {};
    DWORD size = sizeof digest;
    if (!::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &size, 0) || size != sizeof digest) return {};
    std::wstring text;
    for (BYTE b : digest) text += win::Format(L"%02x", b);
    return text;
}
