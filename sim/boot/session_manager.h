// The Session Manager of the simulated PC: at a restart it starts the native programs that the
// BootExecute list names, one after the other, before any desktop program runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/core/machine.h"

namespace sim {

// Thrown by NtTerminateProcess for the current process: the simulated process ends.
struct ProcessExit {
    std::int32_t exitStatus;
};

// The native images the simulated PC can run, recognised by their stand-in bytes.
enum class BootImage { Marker, MoveLab };

struct BootProgramRun {
    std::u16string element;           // the BootExecute element as the list held it
    std::u16string imagePath;         // the image the element names; empty if it names none
    std::optional<BootImage> started; // which program ran; nullopt when nothing was started
    std::int32_t exitStatus = 0;
    std::size_t handlesLeftOpen = 0;  // handles the program did not close before it ended
    // The power went off while it ran (Faults::CutPowerAfterWrite); it ended at that write.
    bool powerCut = false;
    std::vector<std::u16string> screenLines;  // what it drew on the boot screen, in order
};

// The power goes off: every open handle is gone without being closed, so what waited in a
// cache (a file written without write-through and not flushed) is lost. What reached the
// disks and the write-through files stays.
void PowerOff(Machine& machine);

// Starts one boot-time program on the machine, as the Session Manager does, and waits for
// it to end.
BootProgramRun RunBootProgram(Machine& machine, BootImage image);

// Reads BootExecute once, as the Session Manager does at boot, and handles each element in
// order: "autocheck NAME [arguments]" starts the image System32\NAME.exe of the Windows
// directory when it holds one of the two boot-time images. Other elements start nothing.
// A power cut ends the boot there: the programs after it do not run, and the machine is as
// PowerOff leaves it, ready for the next Restart.
std::vector<BootProgramRun> Restart(Machine& machine);

}  // namespace sim
