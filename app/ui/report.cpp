#include "app/ui/report.h"

#include <string>

#include "app/inspect/amounts.h"
#include "app/ui/console_writer.h"
#include "app/model/decimal.h"
#include "app/ui/texts.h"

namespace velta {

void PrintReport(bool useChinese, const LayoutSnapshot& s) {
    using namespace report_text;
    auto t = [useChinese](const TextPair& p) { return std::u16string(Pick(p, useChinese)); };
    auto gb = [](std::uint64_t bytes) { return FormatGigabytes(bytes); };

    WriteConsoleText(t(kTitle) + u"\n");

    if (s.logicalSectorSize != 0) {
        WriteConsoleText(t(kDisk) + Decimal(s.diskNumber) + (s.isGpt ? u" GPT" : u" MBR") + u" | " +
                         t(kSector) + Decimal(s.logicalSectorSize) + u"/" + Decimal(s.physicalSectorSize) +
                         u" B\n");
        WriteConsoleText(t(kPartitionHeading));
        for (const auto& line : s.partitionLines) WriteConsoleText(line + u"\n");
    }

    if (s.windowsVolumeBytes != 0) {
        std::u16string name = s.windowsDrive.empty() ? t(kWindowsVolume) : s.windowsDrive;
        WriteConsoleText(name + t(kCurrent) + gb(s.windowsVolumeBytes) + t(kUsed) + gb(s.windowsUsedBytes) + u"\n");
        if (!s.neighbourText.empty()) WriteConsoleText(t(kNeighbour) + s.neighbourText + u"\n");
        WriteConsoleText(t(kUnallocated) + gb(s.unallocatedRight) + u"\n");
        if (!s.candidateVolumeName.empty())
            WriteConsoleText(t(kCandidate) + s.candidateVolumeName + t(kFree) + gb(s.sourceFreeBytes) +
                             t(kShrinkable) + gb(s.shrinkable) + u"\n");
        if (s.maximumIncrease != 0) WriteConsoleText(t(kMaximum) + gb(s.maximumIncrease) + u"\n");
    }

    WriteConsoleText(std::u16string(StatusText(useChinese, s.status)) + u"\n");
    if (!s.detail.empty()) WriteConsoleText(s.detail + u"\n");
}

}  // namespace velta
