// What the simulated WMI service keeps per machine, beyond what it derives from the disks
// and volumes: BitLocker states, supported-size limits, method return values, switches for
// missing namespaces, and hooks that let a test deliver values a provider might send.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/wmi/value.h"

namespace sim {

// Win32_EncryptableVolume's answers for one volume. A volume without an entry is fully
// decrypted with protection off.
struct BitLockerState {
    bool present = true;               // false: the provider lists no instance for it
    std::uint32_t conversionStatus = 0;  // 0 fully decrypted, 1 encrypted, 2 encrypting, 3 decrypting...
    std::uint32_t protectionStatus = 0;  // 0 off, 1 on, 2 unknown
    std::uint32_t conversionReturn = 0;  // ReturnValue of GetConversionStatus
    std::uint32_t protectionReturn = 0;  // ReturnValue of GetProtectionStatus
};

// MSFT_Partition.GetSupportedSize for one partition. Unset limits come from the partition
// and its file system: the smallest size that holds the used bytes, and the largest that
// reaches the next partition or the usable end.
struct SupportedSizeLimit {
    std::optional<std::uint64_t> sizeMin;
    std::optional<std::uint64_t> sizeMax;
    std::uint32_t returnValue = 0;
};

struct WmiState {
    bool encryptionNamespace = true;  // false: ROOT\CIMV2\Security\MicrosoftVolumeEncryption is missing
    bool storageNamespace = true;     // false: ROOT\Microsoft\Windows\Storage is missing

    // By volume GUID path with its trailing backslash (case ignored).
    std::map<std::u16string, BitLockerState> bitLocker;
    // By (disk number, partition number).
    std::map<std::pair<std::uint32_t, std::uint32_t>, SupportedSizeLimit> supportedSize;
    // ReturnValue of MSFT_Partition.Resize when set; the partition is then left unchanged.
    std::optional<std::uint32_t> resizeReturnValue;

    // Applied to every instance of the named class after the provider builds it.
    std::map<std::u16string, std::function<void(WmiInstance&)>> adjust;

    // Applied to the output parameters of the named method ("Class.Method") after it ran.
    std::map<std::u16string, std::function<void(WmiInstance&)>> adjustResult;

    // Every method call that reached a provider: "Class.Method".
    std::vector<std::u16string> methodCalls;
    // Every query text that the service answered.
    std::vector<std::u16string> queries;
    // Every namespace a connection was made to.
    std::vector<std::u16string> connections;

    // The state of a volume, found with or without the trailing backslash, case ignored.
    const BitLockerState& BitLockerOf(std::u16string_view volumePath) const;
};

}  // namespace sim
