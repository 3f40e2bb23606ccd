#include "app/wmi/storage_checks.h"

#include <utility>

#include "app/model/decimal.h"
#include "app/wmi/bitlocker.h"
#include "app/wmi/identity_checks.h"
#include "platform/win/com_constants.h"

namespace velta {

namespace {

StorageCheckResult Blocked(ResizeStatus status, std::u16string detail) {
    return StorageCheckResult{status, 0, 0, std::move(detail)};
}

}  // namespace

StorageCheckResult QuerySupportedSize(const WmiConnection& connection, win::IWbemClassObject* partition) {
    ComPtr<win::IWbemClassObject> out =
        InvokeMethod(connection, partition, u"MSFT_Partition", u"GetSupportedSize", nullptr);
    std::uint64_t returnValue = ReadUnsigned(out.get(), u"ReturnValue");
    if (returnValue != 0)
        return Blocked(ResizeStatus::StorageInfoUnavailable, u"GetSupportedSize " + Decimal(returnValue));
    StorageCheckResult r;
    r.status = ResizeStatus::Ready;
    r.sizeMin = ReadUnsigned(out.get(), u"SizeMin");
    r.sizeMax = ReadUnsigned(out.get(), u"SizeMax");
    return r;
}

StorageCheckResult RunStorageChecks(const PartitionIdentity& identity) {
    ComScope com;
    ResizeStatus encryption = ResizeStatus::DecryptionUnconfirmed;
    try {
        encryption = CheckBitLocker(identity.volumePath);
    } catch (const WmiError& e) {
        return Blocked(ResizeStatus::DecryptionUnconfirmed, DescribeWmiError(e));
    }
    if (encryption != ResizeStatus::Ready) return Blocked(encryption, {});

    WmiConnection storage = ConnectNamespace(kStorageNamespace);
    VerifyDisk(storage, identity);
    ComPtr<win::IWbemClassObject> partition = VerifyPartition(storage, identity);
    return QuerySupportedSize(storage, partition.get());
}

StorageCheckResult CheckPartitionStorage(const LayoutInspection& inspection, const PartitionEntry& entry,
                                         std::u16string_view volumePath, bool expectBoot) {
    PartitionIdentity identity;
    identity.diskNumber = inspection.snapshot.diskNumber;
    identity.partitionNumber = entry.number;
    identity.mbrSignature = inspection.mbrSignature;
    identity.start = entry.start;
    identity.length = entry.length;
    identity.diskSize = inspection.diskSize;
    identity.expectBoot = expectBoot;
    identity.volumePath = std::u16string(volumePath);
    identity.diskGuidText = inspection.diskGuidText;
    const std::u16string& drive = inspection.snapshot.windowsDrive;
    identity.driveLetter = expectBoot && !drive.empty() ? drive[0] : 0;
    try {
        return RunStorageChecks(identity);
    } catch (const WmiError& e) {
        return Blocked(ResizeStatus::StorageInfoUnavailable, DescribeWmiError(e));
    }
}

std::uint32_t ShrinkPartitionOnline(const PartitionIdentity& identity, std::uint64_t newSize) {
    ComScope com;
    if (CheckBitLocker(identity.volumePath) != ResizeStatus::Ready)
        RaiseWmi(u"Encryption status changed", kWbemInvalidParameter);

    WmiConnection storage = ConnectNamespace(kStorageNamespace);
    VerifyDisk(storage, identity);
    ComPtr<win::IWbemClassObject> partition = VerifyPartition(storage, identity);

    StorageCheckResult supported = QuerySupportedSize(storage, partition.get());
    const bool shrink = newSize < identity.length;
    const bool accepted = supported.status == ResizeStatus::Ready && newSize != identity.length &&
                          supported.sizeMin <= newSize && newSize <= supported.sizeMax &&
                          (!shrink || (supported.sizeMin != 0 && !identity.expectBoot));
    if (!accepted) RaiseWmi(u"Supported size changed", kWbemInvalidParameter);

    // A CIM uint64 travels as decimal text.
    UniqueVariant size;
    UniqueBstr text = AllocBstr(Decimal(newSize));
    size.get()->vt = win::VT_BSTR;
    size.get()->bstrVal = text.release();  // now owned by the VARIANT
    MethodInput input{u"Size", size.get()};
    ComPtr<win::IWbemClassObject> out = InvokeMethod(storage, partition.get(), u"MSFT_Partition", u"Resize", &input);
    // ReturnValue is a 32-bit value; cutting a wider one down could turn a failure into 0.
    std::uint64_t returnValue = ReadUnsigned(out.get(), u"ReturnValue");
    if (returnValue > 0xFFFFFFFFu) RaiseWmi(u"ReturnValue", kWbemInvalidParameter);
    return static_cast<std::uint32_t>(returnValue);
}

}  // namespace velta
