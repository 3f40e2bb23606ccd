// Steps of the inspection that are not built yet. Each raises Error with its label, so that
// no caller ever sees made-up layout data.
#include "app/inspect/inspection_context.h"
#include "platform/win/constants.h"

namespace velta {

namespace {
[[noreturn]] void NotBuilt(const char16_t* label) { throw Error{label, win::ERROR_NOT_SUPPORTED}; }
}  // namespace

bool ProbeWindowsVolume(InspectionContext&) { NotBuilt(u"GetSystemWindowsDirectory"); }
void ProbeDisk(InspectionContext&) { NotBuilt(u"Open physical disk"); }
void ReadPartitionTable(InspectionContext&) { NotBuilt(u"IOCTL_DISK_GET_DRIVE_LAYOUT_EX"); }
void ReadWindowsVolumeFacts(InspectionContext&) { NotBuilt(u"GetVolumeInformation"); }
void HashLayoutIdentity(InspectionContext&) { NotBuilt(u"BCryptOpenAlgorithmProvider"); }
void AnalyseRightSide(InspectionContext&) { NotBuilt(u"Resize analysis"); }

}  // namespace velta
