#include "sim/boot/session_manager.h"

#include "boot/executor/executor_entry.h"
#include "boot/marker/marker_entry.h"
#include "sim/core/text.h"

namespace sim {

namespace {

std::vector<std::u16string> Words(std::u16string_view element) {
    std::vector<std::u16string> words;
    std::size_t i = 0;
    while (i < element.size()) {
        while (i < element.size() && element[i] == u' ') ++i;
        std::size_t j = i;
        while (j < element.size() && element[j] != u' ') ++j;
        if (j > i) words.emplace_back(element.substr(i, j - i));
        i = j;
    }
    return words;
}

std::u16string ImagePath(const Machine& m, std::u16string_view element) {
    auto words = Words(element);
    if (words.size() < 2 || !EqualsNoCase(words[0], u"autocheck")) return {};
    std::u16string name = words[1];
    if (name.find(u'\\') != std::u16string::npos) return {};
    if (!(name.size() > 4 && EqualsNoCase(std::u16string_view(name).substr(name.size() - 4), u".exe")))
        name += u".exe";
    return m.windowsDirectory + u"\\System32\\" + name;
}

std::optional<BootImage> Recognise(const std::vector<std::uint8_t>* bytes) {
    if (bytes == nullptr) return std::nullopt;
    if (*bytes == MarkerImageBytes()) return BootImage::Marker;
    if (*bytes == MoveLabImageBytes()) return BootImage::MoveLab;
    return std::nullopt;
}

}  // namespace

BootProgramRun RunBootProgram(Machine& machine, BootImage image) {
    UseMachine use(machine);
    BootProgramRun run;
    run.started = image;
    const std::size_t openBefore = machine.handles.OpenCount();
    const std::size_t linesBefore = machine.bootScreen.lines.size();
    try {
        if (image == BootImage::Marker)
            velta::boot::MarkerEntry();
        else
            velta::boot::MoveLabEntry();
    } catch (const ProcessExit& exit) {
        run.exitStatus = exit.exitStatus;
    } catch (const PowerCut&) {
        run.powerCut = true;
    }
    const auto& lines = machine.bootScreen.lines;
    if (lines.size() > linesBefore)
        run.screenLines.assign(lines.begin() + static_cast<std::ptrdiff_t>(linesBefore), lines.end());
    const std::size_t openAfter = machine.handles.OpenCount();
    run.handlesLeftOpen = openAfter > openBefore ? openAfter - openBefore : 0;
    if (run.powerCut) PowerOff(machine);
    return run;
}

void PowerOff(Machine& machine) { machine.handles.DropAll(); }

std::vector<BootProgramRun> Restart(Machine& machine) {
    std::vector<BootProgramRun> runs;
    // The list as it stood when the boot began; what the programs change applies to the next.
    auto list = machine.registry.GetMultiSz(kSessionManagerKey, u"BootExecute");
    if (!list) return runs;
    for (const auto& element : *list) {
        const std::u16string path = ImagePath(machine, element);
        auto image = path.empty() ? std::nullopt : Recognise(machine.files.Get(path));
        BootProgramRun run;
        if (image) run = RunBootProgram(machine, *image);
        run.element = element;
        run.imagePath = path;
        const bool cut = run.powerCut;
        runs.push_back(std::move(run));
        if (cut) break;
    }
    return runs;
}

}  // namespace sim
