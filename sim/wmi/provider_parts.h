// What the simulated providers share: their namespaces, object paths, and each provider's
// instances and methods.
#pragma once

#include <string>
#include <vector>

#include "sim/wmi/providers.h"

namespace sim {

inline constexpr char16_t kEncryption[] = u"ROOT\\CIMV2\\Security\\MicrosoftVolumeEncryption";
inline constexpr char16_t kStorage[] = u"ROOT\\Microsoft\\Windows\\Storage";

// "\\HOST\NAMESPACE:Class.Key="value"", the key value escaped as object paths escape it.
std::u16string ObjectPath(std::u16string_view ns, std::u16string_view cls, std::u16string_view key,
                          std::u16string_view value);
std::u16string Decimal(std::uint64_t n);

std::vector<WmiInstance> EncryptableVolumes(Machine& machine);
WmiCallResult InvokeEncryptable(Machine& machine, const WmiInstance& target, const WmiMethodDef& method,
                                const WmiInstance* in);

std::vector<WmiInstance> Disks(Machine& machine);
std::vector<WmiInstance> Partitions(Machine& machine);
WmiCallResult InvokePartition(Machine& machine, const WmiInstance& target, const WmiMethodDef& method,
                              const WmiInstance* in);

}  // namespace sim
