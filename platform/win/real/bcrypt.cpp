#include "platform/win/real/prelude.h"

#include <bcrypt.h>

#include "platform/win/bcrypt.h"

namespace win {

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR algId,
                                     LPCWSTR implementation, ULONG flags) {
    return ::BCryptOpenAlgorithmProvider(algorithm, W(algId), W(implementation), flags);
}

NTSTATUS BCryptHash(BCRYPT_ALG_HANDLE algorithm, BYTE* secret, ULONG secretSize, BYTE* input,
                    ULONG inputSize, BYTE* output, ULONG outputSize) {
    return ::BCryptHash(algorithm, secret, secretSize, input, inputSize, output, outputSize);
}

NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags) {
    return ::BCryptCloseAlgorithmProvider(algorithm, flags);
}

}  // namespace win
