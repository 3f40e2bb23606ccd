#include "app/inspect/fingerprint.h"

#include <cstdint>
#include <vector>

#include "app/model/decimal.h"
#include "platform/win/bcrypt.h"
#include "platform/win/constants.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"

namespace velta {

namespace {

constexpr char16_t kHex[] = u"0123456789abcdef";

void AppendHexByte(std::u16string& out, std::uint8_t b) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 0xf]);
}

// One identifier string of the device descriptor, as hexadecimal bytes; empty for offset 0.
std::u16string IdentifierHex(const std::vector<std::uint8_t>& descriptor, win::DWORD field) {
    std::uint32_t offset = velta::LoadLe32(descriptor.data() + field);
    if (offset == 0) return {};
    std::u16string out;
    if (offset >= descriptor.size()) throw Error{u"Storage device identifier", win::ERROR_INVALID_DATA};
    for (std::size_t i = offset;; ++i) {
        if (i >= descriptor.size()) throw Error{u"Storage device identifier", win::ERROR_INVALID_DATA};
        if (descriptor[i] == 0) break;
        AppendHexByte(out, descriptor[i]);
    }
    return out;
}

}  // namespace

std::u16string ComputeFingerprint(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xff));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    win::UniqueAlgorithm algorithm;
    if (win::BCryptOpenAlgorithmProvider(algorithm.put(), u"SHA256", nullptr, 0) < 0)
        throw Error{u"BCryptOpenAlgorithmProvider", win::ERROR_INVALID_DATA};
    std::uint8_t digest[32] = {};
    if (win::BCryptHash(algorithm.get(), nullptr, 0, bytes.data(), static_cast<win::ULONG>(bytes.size()), digest,
                        sizeof digest) < 0)
        throw Error{u"BCryptHash", win::ERROR_INVALID_DATA};  // the provider closes as this leaves
    std::u16string out;
    for (std::uint8_t b : digest) AppendHexByte(out, b);
    return out;
}

void BeginIdentity(InspectionContext& ctx) {
    namespace dd = win::device_descriptor;
    const LayoutSnapshot& s = ctx.record.snapshot;
    const auto& d = ctx.deviceDescriptor;
    // Check every identifier before writing any of the text.
    std::u16string vendor = IdentifierHex(d, dd::VendorIdOffset);
    std::u16string product = IdentifierHex(d, dd::ProductIdOffset);
    std::u16string revision = IdentifierHex(d, dd::ProductRevisionOffset);
    std::u16string serial = IdentifierHex(d, dd::SerialNumberOffset);
    std::u16string& t = ctx.identity;
    t = s.windowsVolumePath;
    t += u"|" + Decimal(s.diskNumber);
    t += u"|" + Decimal(s.logicalSectorSize);
    t += u"|" + Decimal(s.physicalSectorSize);
    t += u"|" + Decimal(ctx.geometryDiskSize);
    t += u"|" + Decimal(velta::LoadLe32(d.data() + dd::BusType));
    t += u"|" + vendor;
    t += u"|" + product;
    t += u"|" + revision;
    t += u"|" + serial;
}

void HashLayoutIdentity(InspectionContext& ctx) {
    ctx.record.snapshot.fingerprint = ComputeFingerprint(ctx.identity);
}

}  // namespace velta
