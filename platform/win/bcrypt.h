// The cryptography provider's one-shot hashing.
#pragma once

#include "common/unique_any.h"
#include "platform/win/types.h"

namespace win {

using BCRYPT_ALG_HANDLE = void*;

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR algId,
                                     LPCWSTR implementation, ULONG flags);
NTSTATUS BCryptHash(BCRYPT_ALG_HANDLE algorithm, BYTE* secret, ULONG secretSize, BYTE* input,
                    ULONG inputSize, BYTE* output, ULONG outputSize);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);

struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static constexpr Type Invalid() { return nullptr; }
    static constexpr bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { BCryptCloseAlgorithmProvider(h, 0); }
};

// Owns an open algorithm provider.
using UniqueAlgorithm = velta::UniqueAny<AlgorithmTraits>;

}  // namespace win
