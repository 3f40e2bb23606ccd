#include "app/ui/entry.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "app/inspect/amounts.h"
#include "app/inspect/capacity_estimate.h"
#include "app/inspect/inspect_layout.h"
#include "app/ui/command_line_texts.h"
#include "app/ui/console_writer.h"
#include "app/ui/main_window.h"
#include "app/ui/report.h"
#include "platform/win/console.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/process.h"
#include "platform/win/resource_id.h"
#include "platform/win/resources.h"
#include "platform/win/unique.h"

namespace velta {

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr win::WORD kMarkerResourceId = 101;

void PrintUsage(bool useChinese) {
    WriteConsoleText(std::u16string(Pick(cli_text::kUsageHeading, useChinese)) + cli_text::kUsageLine);
}

void AttachConsoleWhenNeeded() {
    win::HANDLE out = win::GetStdHandle(win::STD_OUTPUT_HANDLE);
    if (win::GetFileType(out) == win::FILE_TYPE_UNKNOWN) win::AttachConsole(win::ATTACH_PARENT_PROCESS);
}

int Scan(bool useChinese) {
    LayoutSnapshot snapshot = InspectForDisplay();
    PrintReport(useChinese, snapshot);
    return snapshot.status == ResizeStatus::StorageInfoUnavailable ? kExitFailure : kExitSuccess;
}

int Preview(bool useChinese, std::u16string_view amountText) {
    ParsedAmount amount = ParseMebibytes(amountText);
    if (!amount.ok) return kExitUsage;
    LayoutSnapshot s = InspectForDisplay();
    PrintReport(useChinese, s);
    if (IsAmountAcceptable(amount.bytes, s.unallocatedIncrease, s.maximumIncrease, s.windowsPartitionLength)) {
        // The NTFS size is Windows' word; an estimate is printed only when it makes sense.
        if (std::optional<std::uint64_t> capacity =
                EstimatedCapacity(amount.bytes, s.windowsVolumeBytes, s.windowsPartitionLength)) {
            WriteConsoleText(std::u16string(Pick(cli_text::kEstimateLabel, useChinese)) + FormatGigabytes(*capacity) +
                             u"\n");
            return kExitSuccess;
        }
    }
    WriteConsoleText(Pick(cli_text::kPreviewRefused, useChinese));
    return kExitUsage;
}

int Extract(win::HINSTANCE instance, bool useChinese, const char16_t* path) {
    bool ok = ExtractMarker(instance, path);
    WriteConsoleText(Pick(ok ? cli_text::kExtracted : cli_text::kExtractFailed, useChinese));
    return ok ? kExitSuccess : kExitFailure;
}

int Dispatch(win::HINSTANCE instance, bool useChinese, int argc, win::LPWSTR* argv, int i) {
    std::u16string_view mode(argv[i]);
    if (mode == u"--extract-marker" && argc == i + 2) return Extract(instance, useChinese, argv[i + 1]);
    if (mode == u"--scan" && argc == i + 1) return Scan(useChinese);
    if (mode == u"--preview" && argc == i + 2) return Preview(useChinese, argv[i + 1]);
    PrintUsage(useChinese);
    return mode == u"--help" && argc == i + 1 ? kExitSuccess : kExitUsage;
}

}  // namespace

bool IsChineseLanguage(win::LANGID language) { return (language & 0x3FF) == win::LANG_CHINESE; }

bool ExtractMarker(win::HINSTANCE instance, const char16_t* path) {
    win::HRSRC resource =
        win::FindResourceW(instance, win::MakeIntResource(kMarkerResourceId), win::MakeIntResource(win::RT_RCDATA_ID));
    if (resource == nullptr) return false;
    win::DWORD size = win::SizeofResource(instance, resource);
    if (size == 0) return false;
    win::HGLOBAL loaded = win::LoadResource(instance, resource);
    if (loaded == nullptr) return false;
    const void* image = win::LockResource(loaded);
    if (image == nullptr) return false;

    win::UniqueHandle file(win::CreateFileW(path, win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW,
                                            win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;  // an existing file stays as it was
    win::DWORD written = 0;
    if (!win::WriteFile(file.get(), image, size, &written, nullptr) || written != size) {
        file.reset();
        win::DeleteFileW(path);
        return false;
    }
    bool flushed = win::FlushFileBuffers(file.get()) != 0;
    file.reset();
    if (!flushed) {
        win::DeleteFileW(path);
        return false;
    }
    return true;
}

int RunProgram(win::HINSTANCE instance) {
    int argc = 0;
    win::LPWSTR* rawArgv = win::CommandLineToArgvW(win::GetCommandLineW(), &argc);
    if (rawArgv == nullptr) return kExitFailure;
    win::UniqueLocal<win::LPWSTR> argv(rawArgv);
    if (argc < 1) return kExitFailure;

    bool useChinese = IsChineseLanguage(win::GetUserDefaultUILanguage());
    int modeIndex = 1;
    if (argc >= 3 && std::u16string_view(rawArgv[1]) == u"--lang") {
        std::u16string_view language(rawArgv[2]);
        if (language == u"zh")
            useChinese = true;
        else if (language == u"en")
            useChinese = false;
        else
            return kExitUsage;
        modeIndex = 3;
    }
    if (argc == 1) return RunMainWindow(instance, useChinese);
    if (modeIndex == argc) return kExitUsage;

    AttachConsoleWhenNeeded();
    try {
        return Dispatch(instance, useChinese, argc, rawArgv, modeIndex);
    } catch (const std::exception&) {
        WriteConsoleText(Pick(cli_text::kInternalFailure, useChinese));
        return kExitFailure;
    }
}

}  // namespace velta
