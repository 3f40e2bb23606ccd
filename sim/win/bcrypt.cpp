// The cryptography provider of the simulated PC: SHA-256 through OpenSSL's libcrypto.
// Provider handles live in the handle table, so a provider left open shows in leak checks.
#include <openssl/evp.h>

#include <string_view>

#include "platform/win/bcrypt.h"
#include "sim/core/machine.h"

namespace win {

namespace {

constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS kStatusNotFound = static_cast<NTSTATUS>(0xC0000225u);

class Sha256Provider : public sim::HandleObject {};

bool IsProvider(BCRYPT_ALG_HANDLE h) {
    return std::dynamic_pointer_cast<Sha256Provider>(sim::Current().handles.Get(h)) != nullptr;
}

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR algId, LPCWSTR implementation,
                                     ULONG flags) {
    auto& m = sim::Current();
    if (algorithm == nullptr) return kStatusInvalidParameter;
    *algorithm = nullptr;
    if (auto f = m.faults.Hit("BCryptOpenAlgorithmProvider")) return static_cast<NTSTATUS>(f->code);
    if (algId == nullptr || std::u16string_view(algId) != u"SHA256" || implementation != nullptr || flags != 0)
        return kStatusNotFound;
    *algorithm = m.handles.Add(std::make_shared<Sha256Provider>());
    return 0;
}

NTSTATUS BCryptHash(BCRYPT_ALG_HANDLE algorithm, BYTE* secret, ULONG secretSize, BYTE* input, ULONG inputSize,
                    BYTE* output, ULONG outputSize) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("BCryptHash")) return static_cast<NTSTATUS>(f->code);
    if (!IsProvider(algorithm)) return kStatusInvalidHandle;
    // A plain hash provider takes no secret.
    if (secret != nullptr || secretSize != 0) return kStatusInvalidParameter;
    if (output == nullptr || outputSize != 32 || (input == nullptr && inputSize != 0)) return kStatusInvalidParameter;
    unsigned int size = 0;
    static const BYTE kEmpty = 0;
    if (EVP_Digest(input != nullptr ? input : &kEmpty, inputSize, output, &size, EVP_sha256(), nullptr) != 1 ||
        size != 32)
        return kStatusInvalidParameter;
    return 0;
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG) {
    auto& m = sim::Current();
    if (!IsProvider(algorithm)) return kStatusInvalidHandle;
    m.handles.Close(algorithm);
    return 0;
}

}  // namespace win
