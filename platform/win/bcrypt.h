// The cryptography provider's one-shot hashing.
#pragma once

#include "platform/win/types.h"

namespace win {

using BCRYPT_ALG_HANDLE = void*;

NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* algorithm, LPCWSTR algId,
                                     LPCWSTR implementation, ULONG flags);
NTSTATUS BCryptHash(BCRYPT_ALG_HANDLE algorithm, BYTE* secret, ULONG secretSize, BYTE* input,
                    ULONG inputSize, BYTE* output, ULONG outputSize);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE algorithm, ULONG flags);

// Owns an open algorithm provider.
class UniqueAlgorithm {
public:
    UniqueAlgorithm() = default;
    UniqueAlgorithm(const UniqueAlgorithm&) = delete;
    UniqueAlgorithm& operator=(const UniqueAlgorithm&) = delete;
    ~UniqueAlgorithm() {
        if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    BCRYPT_ALG_HANDLE* put() { return &handle_; }
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

}  // namespace win
