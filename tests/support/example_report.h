// The English scan report of the example MBR disk: C: followed directly by an NTFS data
// partition D:. Written out by hand, as a person reads it.
#pragma once

#include <string>

namespace velta::testing {

inline const std::string kExampleReportEnglish =
    "Veltamoor\n"
    "Disk  0 MBR | Logical/physical sector  512/4096 B\n"
    "Partition # / start byte / length / type\n"
    "#1 1048576 104857600 0x07\n"
    "#2 105906176 85899345920 0x07\n"
    "#3 86005252096 107374182400 0x07\n"
    "C: Current  80 GB | Used  44.2 GB\n"
    "Adjacent partition  #3 @ 86005252096\n"
    "Unallocated space on right  0 GB\n"
    "Adjacent candidate  D: | Free  60.5 GB | Shrinkable  59.5 GB\n"
    "Maximum increase  59.5 GB\n"
    "This layout requires restarting to resize.\n";

}  // namespace velta::testing
