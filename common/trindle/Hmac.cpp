// HMAC-SHA256 (RFC 2104) by the system's cryptographic provider.
#include "Util.h"

#include "ErrorReport.h"
#include "SmartPointer.h"

#include <bcrypt.h>

namespace Quenzal {

namespace {

struct AlgorithmDestructor {
    static bool IsValid(BCRYPT_ALG_HANDLE h) { return h != nullptr; }
    static void Destroy(BCRYPT_ALG_HANDLE h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct HashDestructor {
    static bool IsValid(BCRYPT_HASH_HANDLE h) { return h != nullptr; }
    static void Destroy(BCRYPT_HASH_HANDLE h) { ::BCryptDestroyHash(h); }
};

void CheckStatus(NTSTATUS status, const wchar_t* call)
{
    if (!BCRYPT_SUCCESS(status))
        QZL_THROW(L"Quenzal::CalculateHmacSha256",
                  CException(StringW::Format(L"Unable to calculate HMAC: %s returned 0x%X", call,
                                             static_cast<unsigned>(status))));
}

} // namespace

std::string CalculateHmacSha256(const std::string& key, const void* data, size_t length)
{
    SmartPointer<BCRYPT_ALG_HANDLE, AlgorithmDestructor> algorithm;
    CheckStatus(::BCryptOpenAlgorithmProvider(algorithm.Receive(), BCRYPT_SHA256_ALGORITHM, nullptr,
                                              BCRYPT_ALG_HANDLE_HMAC_FLAG),
                L"BCryptOpenAlgorithmProvider");
    SmartPointer<BCRYPT_HASH_HANDLE, HashDestructor> hash;
    CheckStatus(::BCryptCreateHash(algorithm.Get(), hash.Receive(), nullptr, 0,
                                   reinterpret_cast<PUCHAR>(const_cast<char*>(key.data())),
                                   static_cast<ULONG>(key.size()), 0),
                L"BCryptCreateHash");
    if (length != 0)
        CheckStatus(::BCryptHashData(hash.Get(), static_cast<PUCHAR>(const_cast<void*>(data)),
                                     static_cast<ULONG>(length), 0),
                    L"BCryptHashData");
    std::string digest(32, '\0');
    CheckStatus(::BCryptFinishHash(hash.Get(), reinterpret_cast<PUCHAR>(digest.data()),
                                   static_cast<ULONG>(digest.size()), 0),
                L"BCryptFinishHash");
    return digest;
}

} // namespace Quenzal
