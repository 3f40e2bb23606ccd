#include "app/wmi/bitlocker.h"

#include <string>

#include "app/wmi/wmi_layer.h"
#include "platform/win/com_constants.h"

namespace velta {

ResizeStatus CheckBitLocker(std::u16string_view volumePath) {
    WmiConnection connection = ConnectNamespace(kEncryptionNamespace);

    // Some providers report the DeviceID without the trailing backslash; ask for both forms.
    std::u16string_view shortened = volumePath.empty() ? volumePath : volumePath.substr(0, volumePath.size() - 1);
    std::u16string query = u"SELECT * FROM Win32_EncryptableVolume WHERE DeviceID = '";
    query += QuoteWql(volumePath);
    query += u"' OR DeviceID = '";
    query += QuoteWql(shortened);
    query += u"'";

    ComPtr<win::IWbemClassObject> volume = QuerySingleInstance(connection, query, u"Win32_EncryptableVolume");
    if (!volume) return ResizeStatus::DecryptionUnconfirmed;

    UniqueVariant precision;
    precision.get()->vt = win::VT_I4;
    precision.get()->lVal = 0;
    MethodInput precisionInput{u"PrecisionFactor", precision.get()};
    ComPtr<win::IWbemClassObject> conversion =
        InvokeMethod(connection, volume.get(), u"Win32_EncryptableVolume", u"GetConversionStatus", &precisionInput);
    ComPtr<win::IWbemClassObject> protection =
        InvokeMethod(connection, volume.get(), u"Win32_EncryptableVolume", u"GetProtectionStatus", nullptr);

    if (ReadUnsigned(conversion.get(), u"ReturnValue") != 0) return ResizeStatus::DecryptionUnconfirmed;
    if (ReadUnsigned(protection.get(), u"ReturnValue") != 0) return ResizeStatus::DecryptionUnconfirmed;
    if (ReadUnsigned(conversion.get(), u"ConversionStatus") != 0) return ResizeStatus::BitLockerActive;
    if (ReadUnsigned(protection.get(), u"ProtectionStatus") != 0) return ResizeStatus::BitLockerActive;
    return ResizeStatus::Ready;
}

}  // namespace velta
