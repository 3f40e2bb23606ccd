// Interpreting the drive layout: partition style and disk identity, the usable range, the
// walk over every entry with its kind and description line, and the Windows partition.
#include <cstdint>
#include <optional>

#include "app/inspect/guid_text.h"
#include "app/inspect/inspection_context.h"
#include "app/inspect/storage_probe.h"
#include "app/model/decimal.h"
#include "platform/win/constants.h"
#include "common/little_endian.h"
#include "platform/win/little_endian.h"
#include "platform/win/storage_constants.h"

namespace velta {

namespace {

namespace dl = win::drive_layout;
namespace pi = win::partition_info;

const win::GUID kBasicDataType = {0xEBD0A0A2, 0xB9E5, 0x4433, {0x87, 0xC0, 0x68, 0xB6, 0xB7, 0x26, 0x99, 0xC7}};
const win::GUID kLdmMetadataType = {0x5808C8AA, 0x7E8F, 0x42E0, {0x85, 0xD2, 0xE1, 0xE9, 0x04, 0x34, 0xCF, 0xB3}};
const win::GUID kLdmDataType = {0xAF9B60A0, 0x1431, 0x4F62, {0xBC, 0x68, 0x33, 0x11, 0x71, 0x4A, 0x69, 0xAD}};

[[noreturn]] void RaiseInvalid(const char16_t* step) { throw Error{step, win::ERROR_INVALID_DATA}; }

bool IsExtendedType(std::uint8_t type) { return type == 0x05 || type == 0x0F || type == 0x85; }

// One PARTITION_INFORMATION_EX of the layout, read at its offsets.
struct RawEntry {
    std::uint32_t style = 0;
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::uint32_t number = 0;
    std::uint8_t mbrType = 0;
    std::uint8_t bootIndicator = 0;
    win::GUID gptType{};
    win::GUID gptId{};
    std::uint64_t attributes = 0;
};

RawEntry LoadEntry(const std::vector<std::uint8_t>& layout, std::uint32_t index) {
    const std::uint8_t* p = layout.data() + dl::kHeaderSize + std::size_t{index} * pi::kSize;
    RawEntry e;
    e.style = velta::LoadLe32(p + pi::PartitionStyle);
    e.start = win::LoadI64(p + pi::StartingOffset);
    e.length = win::LoadI64(p + pi::PartitionLength);
    e.number = velta::LoadLe32(p + pi::PartitionNumber);
    e.mbrType = p[pi::MbrPartitionType];
    e.bootIndicator = p[pi::MbrBootIndicator];
    e.gptType = win::LoadGuid(p + pi::GptPartitionType);
    e.gptId = win::LoadGuid(p + pi::GptPartitionId);
    e.attributes = velta::LoadLe64(p + pi::GptAttributes);
    return e;
}

char16_t HexDigit(unsigned v) { return u"0123456789abcdef"[v & 0xf]; }

struct Container {
    std::uint32_t index = 0;
    std::uint64_t start = 0;
    std::uint64_t length = 0;  // 0: no container
    std::uint64_t End() const { return start + length; }
};

// The extended container among the first four entries of an MBR layout.
Container FindContainer(const std::vector<std::uint8_t>& layout, std::uint32_t count) {
    Container c;
    for (std::uint32_t i = 0; i < count && i < 4; ++i) {
        RawEntry e = LoadEntry(layout, i);
        if (!IsExtendedType(e.mbrType)) continue;
        if (c.length != 0) RaiseInvalid(u"Multiple MBR extended partitions");
        if (e.style != win::PARTITION_STYLE_MBR || e.start <= 0 || e.length <= 0)
            RaiseInvalid(u"MBR extended partition extent");
        c = Container{i, static_cast<std::uint64_t>(e.start), static_cast<std::uint64_t>(e.length)};
    }
    return c;
}

}  // namespace

void ReadPartitionTable(InspectionContext& ctx) {
    ReadDriveLayout(ctx);
    LayoutInspection& r = ctx.record;
    LayoutSnapshot& s = r.snapshot;
    const auto& layout = ctx.driveLayout;
    const std::uint32_t style = velta::LoadLe32(layout.data() + dl::PartitionStyle);
    const std::uint32_t count = velta::LoadLe32(layout.data() + dl::PartitionCount);
    const std::uint64_t sector = s.logicalSectorSize;
    const std::uint64_t diskSize = ctx.geometryDiskSize;

    if (style == win::PARTITION_STYLE_GPT) {
        s.isGpt = true;
        r.diskSize = diskSize;
        win::GUID diskId = win::LoadGuid(layout.data() + dl::GptDiskId);
        std::int64_t usableStart = win::LoadI64(layout.data() + dl::GptStartingUsableOffset);
        std::int64_t usableLength = win::LoadI64(layout.data() + dl::GptUsableLength);
        if (win::IsZeroGuid(diskId) || usableStart <= 0 || usableLength <= 0) RaiseInvalid(u"GPT disk identity");
        auto start = static_cast<std::uint64_t>(usableStart);
        auto length = static_cast<std::uint64_t>(usableLength);
        if (diskSize <= start || length > diskSize - start) RaiseInvalid(u"GPT usable range");
        r.diskGuidText = GuidText(diskId);
        ctx.usableStart = start;
        ctx.usableEnd = start + length;
        ctx.identity += u"|GPT|" + r.diskGuidText;
    } else if (style == win::PARTITION_STYLE_MBR) {
        s.isGpt = false;
        r.diskSize = diskSize;
        std::uint32_t signature = velta::LoadLe32(layout.data() + dl::MbrSignature);
        if (signature == 0) RaiseInvalid(u"MBR disk signature");
        r.mbrSignature = signature;
        ctx.usableStart = sector;
        // Up to the 32-bit sector-addressing limit or the disk's end, whichever is lower.
        std::uint64_t limit = sector << 32;
        ctx.usableEnd = diskSize < limit ? diskSize : limit;
        ctx.identity += u"|MBR|" + Decimal(signature);
    } else {
        RaiseInvalid(u"GPT/MBR partition style");
    }
    ctx.identity += u"|" + Decimal(ctx.usableStart) + u"|" + Decimal(ctx.usableEnd);
    r.identityText = ctx.identity;

    const bool gpt = s.isGpt;
    const Container container = gpt ? Container{} : FindContainer(layout, count);
    bool windowsFound = false;  // a partition number of 0 must not hide a second match

    for (std::uint32_t index = 0; index < count; ++index) {
        RawEntry e = LoadEntry(layout, index);
        if (!gpt && e.mbrType == 0x00) {
            if (e.length == 0) continue;
            RaiseInvalid(u"Unused MBR partition entry");
        }
        if (e.style != style || e.start <= 0 || e.length <= 0) RaiseInvalid(u"Partition extent");
        const auto start = static_cast<std::uint64_t>(e.start);
        const auto length = static_cast<std::uint64_t>(e.length);

        std::u16string typeText;
        const char16_t* suffix = u"";
        PartitionKind kind = PartitionKind::Other;
        bool link = false;
        if (gpt) {
            typeText = GuidText(e.gptType) + u" " + GuidText(e.gptId) + u" " + Decimal(e.attributes);
            r.gptPartitionIds.push_back(GptPartitionId{e.number, e.gptId});
            if (e.gptType == kBasicDataType) {
                kind = PartitionKind::Data;
                if (e.attributes == 0) r.plainDataNumbers.push_back(e.number);
            } else if (e.gptType == kLdmMetadataType || e.gptType == kLdmDataType) {
                kind = PartitionKind::Dynamic;
            }
        } else {
            typeText = u"0x";
            typeText.push_back(HexDigit(e.mbrType >> 4));
            typeText.push_back(HexDigit(e.mbrType));
            if (e.mbrType == 0x42) {
                kind = PartitionKind::Dynamic;
            } else if (IsExtendedType(e.mbrType)) {
                kind = PartitionKind::Extended;
                if (container.length != 0 && index == container.index) {
                    suffix = u" [Extended]";
                } else {
                    // Overflow cannot occur: both values are positive signed 64-bit numbers.
                    bool inside = index >= 4 && container.length != 0 && container.start < start &&
                                  start < container.End() && start + length <= container.End() &&
                                  start % sector == 0 && length % sector == 0;
                    if (!inside) RaiseInvalid(u"MBR extended partition link extent");
                    link = true;
                    suffix = u" [EBR link]";
                }
            } else if (index >= 4 && container.length != 0 && container.start < start && start < container.End()) {
                // Only the EBR chain, reported from index 4 on, describes logical partitions. A
                // primary slot that points into the container stays a primary entry; it then
                // overlaps the container and the layout validation refuses the layout.
                kind = PartitionKind::Logical;
                suffix = u" [Logical]";
            } else if (e.mbrType == 0x07) {
                kind = PartitionKind::Data;
            }
        }

        std::u16string line = u"#" + Decimal(e.number) + u" " + Decimal(start) + u" " + Decimal(length) + u" " +
                              typeText + suffix;
        ctx.identity += u"|" + line;
        s.partitionLines.push_back(std::move(line));
        if (link) continue;

        if (start == ctx.extentStart && length == ctx.extentLength && kind != PartitionKind::Extended) {
            if (windowsFound) RaiseInvalid(u"Ambiguous Windows partition");
            windowsFound = true;
            s.windowsPartitionNumber = e.number;
            s.windowsPartitionLength = length;
            r.windowsEntry = PartitionEntry{start, length, e.number, kind};
        }
        if (!gpt && e.mbrType == 0x07 && e.bootIndicator == 0 &&
            (kind == PartitionKind::Data || kind == PartitionKind::Logical))
            r.plainDataNumbers.push_back(e.number);
        r.partitions.push_back(PartitionEntry{start, length, e.number, kind});
    }
}

}  // namespace velta
