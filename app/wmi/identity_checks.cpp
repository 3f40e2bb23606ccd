#include "app/wmi/identity_checks.h"

#include <string>

#include "app/model/decimal.h"
#include "platform/win/com_constants.h"
#include "platform/win/guid.h"

namespace velta {

namespace {

constexpr char16_t kDiskStep[] = u"MSFT_Disk identity or state";
constexpr char16_t kPartitionStep[] = u"MSFT_Partition identity changed";
constexpr std::uint64_t kPartitionStyleMbr = 1;
constexpr std::uint64_t kPartitionStyleGpt = 2;

[[noreturn]] void Refuse(const char16_t* step) { RaiseWmi(step, kWbemInvalidParameter); }

char16_t FoldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// The comparison of _wcsicmp in the C locale: up to the terminator, ASCII letters folded.
bool EqualsIgnoringCase(const char16_t* a, std::u16string_view b) {
    std::size_t i = 0;
    for (; a[i] != 0; ++i)
        if (i >= b.size() || FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return i == b.size();
}

bool SameGuid(const std::u16string& a, const std::u16string& b) {
    win::GUID ga{}, gb{};
    if (win::CLSIDFromString(a.c_str(), &ga) < 0) return false;
    if (win::CLSIDFromString(b.c_str(), &gb) < 0) return false;
    return ga == gb;
}

// Whether the partition's AccessPaths list the volume.
bool ListsVolume(win::IWbemClassObject* partition, std::u16string_view volumePath) {
    PropertyValue paths = ReadProperty(partition, u"AccessPaths");
    const win::VARIANT& v = *paths.value;
    if (v.vt != (win::VT_ARRAY | win::VT_BSTR) || v.parray == nullptr || win::SafeArrayGetDim(v.parray) != 1)
        RaiseWmi(paths.name, kWbemInvalidParameter);
    win::LONG lower = 0, upper = 0;
    win::HRESULT hr = win::SafeArrayGetLBound(v.parray, 1, &lower);
    if (hr < 0) RaiseWmi(paths.name, static_cast<std::uint32_t>(hr));
    hr = win::SafeArrayGetUBound(v.parray, 1, &upper);
    if (hr < 0) RaiseWmi(paths.name, static_cast<std::uint32_t>(hr));
    // Counted in 64 bits so that an upper bound at the top of the range still ends the walk.
    for (std::int64_t i = lower; i <= upper; ++i) {
        win::LONG index = static_cast<win::LONG>(i);
        win::BSTR element = nullptr;
        hr = win::SafeArrayGetElement(v.parray, &index, &element);
        if (hr < 0) RaiseWmi(paths.name, static_cast<std::uint32_t>(hr));
        UniqueBstr owned(element);
        if (element != nullptr && EqualsIgnoringCase(element, volumePath)) return true;
    }
    return false;
}

}  // namespace

void VerifyDisk(const WmiConnection& connection, const PartitionIdentity& identity) {
    ComPtr<win::IWbemClassObject> disk = QuerySingleInstance(
        connection, u"SELECT * FROM MSFT_Disk WHERE Number = " + Decimal(identity.diskNumber), u"MSFT_Disk");
    if (!disk) Refuse(kDiskStep);
    const bool gpt = !identity.diskGuidText.empty();
    if (ReadUnsigned(disk.get(), u"PartitionStyle") != (gpt ? kPartitionStyleGpt : kPartitionStyleMbr))
        Refuse(kDiskStep);
    if (ReadUnsigned(disk.get(), u"Size") != identity.diskSize) Refuse(kDiskStep);
    if (ReadFlag(disk.get(), u"IsOffline")) Refuse(kDiskStep);
    if (ReadFlag(disk.get(), u"IsReadOnly")) Refuse(kDiskStep);
    if (gpt) {
        if (!SameGuid(ReadString(disk.get(), u"Guid"), identity.diskGuidText)) Refuse(u"GPT GUID changed");
    } else if (ReadUnsigned(disk.get(), u"Signature") != identity.mbrSignature) {
        Refuse(u"MBR signature changed");
    }
}

ComPtr<win::IWbemClassObject> VerifyPartition(const WmiConnection& connection,
                                              const PartitionIdentity& identity) {
    ComPtr<win::IWbemClassObject> partition = QuerySingleInstance(
        connection,
        u"SELECT * FROM MSFT_Partition WHERE DiskNumber = " + Decimal(identity.diskNumber) +
            u" AND PartitionNumber = " + Decimal(identity.partitionNumber),
        u"MSFT_Partition");
    if (!partition) Refuse(kPartitionStep);
    if (ReadUnsigned(partition.get(), u"Offset") != identity.start) Refuse(kPartitionStep);
    if (ReadUnsigned(partition.get(), u"Size") != identity.length) Refuse(kPartitionStep);
    if (!ListsVolume(partition.get(), identity.volumePath)) Refuse(kPartitionStep);
    if (ReadFlag(partition.get(), u"IsBoot") != identity.expectBoot) Refuse(kPartitionStep);
    if (!identity.expectBoot || identity.driveLetter == 0) return partition;

    PropertyValue letter = ReadProperty(partition.get(), u"DriveLetter");
    if (letter.value->vt == win::VT_BSTR) {
        std::u16string text = ReadString(letter);
        if (text.size() != 1 || text[0] != identity.driveLetter) Refuse(u"System drive letter changed");
    } else if (ReadUnsigned(letter) != identity.driveLetter) {
        Refuse(u"System drive letter changed");
    }
    return partition;
}

}  // namespace velta
