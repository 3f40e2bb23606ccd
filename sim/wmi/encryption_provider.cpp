// Win32_EncryptableVolume of the simulated volume encryption provider: one instance per
// volume, with the BitLocker state the machine holds for it.
#include <string>

#include "sim/core/machine.h"
#include "sim/wmi/provider_parts.h"

namespace sim {

namespace {
// GetConversionStatus with a precision factor outside 0..4.
constexpr std::uint32_t kInvalidArgument = 0x80070057u;
}  // namespace

std::vector<WmiInstance> EncryptableVolumes(Machine& machine) {
    std::vector<WmiInstance> out;
    const Volume* windows = machine.storage.VolumeOfPath(machine.windowsDirectory);
    for (const Volume& volume : machine.storage.Volumes()) {
        std::u16string path = volume.GuidPath();
        const BitLockerState& state = machine.wmi.BitLockerOf(path);
        if (!state.present) continue;
        WmiInstance v;
        v.className = u"Win32_EncryptableVolume";
        v.path = ObjectPath(kEncryption, v.className, u"DeviceID", path);
        v.Set(u"DeviceID", path);
        std::u16string letter;
        for (const auto& mount : volume.mountPoints)
            if (mount.size() == 3 && mount[1] == u':') letter = mount.substr(0, 2);
        v.Set(u"DriveLetter", letter.empty() ? WmiValue() : WmiValue(letter));
        v.Set(u"ProtectionStatus", CimUint32(state.protectionStatus));
        v.Set(u"VolumeType", CimUint32(&volume == windows ? 0 : 1));
        out.push_back(std::move(v));
    }
    return out;
}


WmiCallResult InvokeEncryptable(Machine& machine, const WmiInstance& target,
                                const WmiMethodDef& method, const WmiInstance* in) {
    const WmiValue* id = target.Find(u"DeviceID");
    const std::u16string* text = id == nullptr ? nullptr : id->AsText();
    const BitLockerState& state = machine.wmi.BitLockerOf(text == nullptr ? u"" : *text);
    WmiCallResult r;
    r.out.className = u"__PARAMETERS";
    if (method.name == u"GetConversionStatus") {
        std::uint64_t precision = 0;
        if (in != nullptr) {
            const WmiValue* factor = in->Find(u"PrecisionFactor");
            if (factor != nullptr && !factor->IsNull()) precision = factor->AsNumber().value_or(99);
        }
        if (precision > 4) {
            r.out.Set(u"ReturnValue", CimUint32(kInvalidArgument));
            return r;
        }
        r.out.Set(u"ReturnValue", CimUint32(state.conversionReturn));
        if (state.conversionReturn == 0) {
            r.out.Set(u"ConversionStatus", CimUint32(state.conversionStatus));
            r.out.Set(u"EncryptionPercentage", CimUint32(state.conversionStatus == 0 ? 0 : 100));
            r.out.Set(u"EncryptionFlags", CimUint32(0));
            r.out.Set(u"WipingStatus", CimUint32(0));
            r.out.Set(u"WipingPercentage", CimUint32(0));
        }
    } else {
        r.out.Set(u"ReturnValue", CimUint32(state.protectionReturn));
        if (state.protectionReturn == 0) r.out.Set(u"ProtectionStatus", CimUint32(state.protectionStatus));
    }
    return r;
}

}  // namespace sim
