#include "app/handoff/staging.h"

#include <cstring>

#include "common/handoff_names.h"
#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "platform/win/process.h"
#include "platform/win/registry_constants.h"
#include "platform/win/registry_unique.h"
#include "platform/win/resource_id.h"
#include "platform/win/resources.h"
#include "platform/win/unique.h"

namespace velta {

namespace {

constexpr win::UINT kPathUnits = 260;  // MAX_PATH

// Byte images of the list, compared in full.
bool SameUnits(const std::vector<char16_t>& a, const std::vector<char16_t>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0);
}

struct ImageResource {
    const void* bytes = nullptr;
    win::DWORD size = 0;
};

bool FindExecutorImage(ImageResource* out) {
    win::HRSRC found = win::FindResourceW(nullptr, win::MakeIntResource(kMoveLabResourceId),
                                          win::MakeIntResource(win::RT_RCDATA_ID));
    if (found == nullptr) return false;
    const win::DWORD size = win::SizeofResource(nullptr, found);
    if (size == 0) return false;
    win::HGLOBAL loaded = win::LoadResource(nullptr, found);
    if (loaded == nullptr) return false;
    const void* bytes = win::LockResource(loaded);
    if (bytes == nullptr) return false;
    *out = ImageResource{bytes, size};
    return true;
}

win::LSTATUS SetBinary(win::HKEY key, const char16_t* name, const std::uint8_t* bytes, std::size_t size) {
    return win::RegSetValueExW(key, name, 0, win::REG_BINARY, bytes, static_cast<win::DWORD>(size));
}

// Writes the image with one call and flushes it to the disk; the file is closed either way.
bool WriteImageFile(win::UniqueHandle file, const ImageResource& image) {
    win::DWORD written = 0;
    if (!win::WriteFile(file.get(), image.bytes, image.size, &written, nullptr) || written != image.size)
        return false;
    return win::FlushFileBuffers(file.get()) != win::FALSE;
}

}  // namespace

std::u16string WindowsDirectoryPath(std::u16string_view suffix) {
    char16_t buffer[kPathUnits] = {};
    const win::UINT n = win::GetSystemWindowsDirectoryW(buffer, kPathUnits);
    if (n == 0 || n >= kPathUnits) return {};
    std::u16string path(buffer, n);
    path += suffix;
    return path;
}

std::u16string InstalledImagePath() { return WindowsDirectoryPath(kInstalledImageSuffix); }
std::u16string ClaimFilePath() { return WindowsDirectoryPath(kClaimFileSuffix); }

bool ReadBootExecute(win::HKEY key, std::vector<char16_t>* units) {
    win::DWORD type = 0;
    win::DWORD size = 0;
    if (win::RegQueryValueExW(key, kBootExecute, nullptr, &type, nullptr, &size) != win::ERROR_SUCCESS ||
        type != win::REG_MULTI_SZ)
        return false;
    if (size % 2 != 0 || size < 4 || size > kBootExecuteMaxBytes) return false;
    std::vector<char16_t> list(size / 2, 0);
    win::DWORD again = size;
    type = 0;
    if (win::RegQueryValueExW(key, kBootExecute, nullptr, &type, reinterpret_cast<win::BYTE*>(list.data()),
                              &again) != win::ERROR_SUCCESS ||
        type != win::REG_MULTI_SZ || again != size)
        return false;
    if (list[list.size() - 1] != 0 || list[list.size() - 2] != 0) return false;
    *units = std::move(list);
    return true;
}

bool FindBootEntry(const std::vector<char16_t>& units) {
    std::size_t i = 0;
    while (i < units.size()) {
        std::size_t end = i;
        while (end < units.size() && units[end] != 0) ++end;
        const std::size_t length = end - i;
        if (length == 0) return false;
        if (length == kBootEntryUnits &&
            std::memcmp(units.data() + i, kBootEntry, kBootEntryUnits * sizeof(char16_t)) == 0)
            return true;
        i = end + 1;
    }
    return false;
}

std::vector<char16_t> ListWithBootEntry(const std::vector<char16_t>& units) {
    // The elements up to the first empty one, each with its zero. Whatever follows that empty
    // element is not part of the list for the Session Manager, so an entry appended after it
    // would never run.
    std::size_t keep = 0;
    while (keep < units.size() && units[keep] != 0) {
        while (keep < units.size() && units[keep] != 0) ++keep;
        if (keep < units.size()) ++keep;  // the element's zero
    }
    std::vector<char16_t> list(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(keep));
    list.insert(list.end(), kBootEntry, kBootEntry + kBootEntryUnits);
    list.push_back(0);
    list.push_back(0);
    return list;
}

void DeleteHandoffValues(win::HKEY key) {
    for (const char16_t* name : kHandoffValueNames) win::RegDeleteValueW(key, name);
}

std::uint32_t StageBootPlan(const std::uint8_t (&planImage)[kBootPlanSize],
                            const std::uint8_t (&growImage)[kGrowPlanSize], bool useChinese) {
    win::UniqueHkey key;
    if (win::RegOpenKeyExW(win::HKEY_LOCAL_MACHINE, kSessionManagerSubkey, 0,
                           win::KEY_QUERY_VALUE | win::KEY_SET_VALUE, key.put()) != win::ERROR_SUCCESS)
        return win::ERROR_ACCESS_DENIED;

    std::vector<char16_t> list;
    if (!ReadBootExecute(key.get(), &list)) return win::ERROR_BUSY;
    if (FindBootEntry(list)) return win::ERROR_BUSY;
    win::DWORD planSize = 0;
    if (win::RegQueryValueExW(key.get(), kVeltamoorMoveLabPlan, nullptr, nullptr, nullptr, &planSize) !=
        win::ERROR_FILE_NOT_FOUND)
        return win::ERROR_BUSY;

    const std::u16string imagePath = InstalledImagePath();
    if (imagePath.empty()) return win::ERROR_PATH_NOT_FOUND;
    ImageResource image;
    if (!FindExecutorImage(&image)) return win::ERROR_RESOURCE_DATA_NOT_FOUND;
    const std::vector<char16_t> newList = ListWithBootEntry(list);
    // A list that would grow beyond what either side reads back could never be undone.
    if (newList.size() * sizeof(char16_t) > kBootExecuteMaxBytes) return win::ERROR_BUSY;

    win::UniqueHandle file(win::CreateFileW(imagePath.c_str(), win::GENERIC_WRITE, 0, nullptr, win::CREATE_NEW,
                                            win::FILE_FLAG_WRITE_THROUGH | win::FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        // Nothing was written, so nothing is undone. A failure without a code must not read
        // as success.
        const win::DWORD error = win::GetLastError();
        return error != 0 ? error : win::ERROR_GEN_FAILURE;
    }

    auto rollBack = [&](std::uint32_t code) {
        DeleteHandoffValues(key.get());
        win::DeleteFileW(imagePath.c_str());
        return code;
    };

    if (!WriteImageFile(std::move(file), image)) return rollBack(win::ERROR_WRITE_FAULT);

    std::vector<char16_t> reread;
    if (!ReadBootExecute(key.get(), &reread) || !SameUnits(reread, list)) return rollBack(win::ERROR_BUSY);

    if (win::LSTATUS e = SetBinary(key.get(), kVeltamoorMoveLabPlan, planImage, kBootPlanSize); e != win::ERROR_SUCCESS)
        return rollBack(static_cast<std::uint32_t>(e));
    if (win::LSTATUS e = SetBinary(key.get(), kVeltamoorMoveLabGrow, growImage, kGrowPlanSize); e != win::ERROR_SUCCESS)
        return rollBack(static_cast<std::uint32_t>(e));
    const std::uint32_t language = useChinese ? kBootLanguageChinese : kBootLanguageEnglish;
    std::uint8_t languageBytes[4] = {static_cast<std::uint8_t>(language), 0, 0, 0};
    if (win::LSTATUS e = win::RegSetValueExW(key.get(), kVeltamoorBootLanguage, 0, win::REG_DWORD, languageBytes, 4);
        e != win::ERROR_SUCCESS)
        return rollBack(static_cast<std::uint32_t>(e));
    // The entry goes last: until it is in the list, nothing starts the executor.
    if (win::RegSetValueExW(key.get(), kBootExecute, 0, win::REG_MULTI_SZ,
                            reinterpret_cast<const win::BYTE*>(newList.data()),
                            static_cast<win::DWORD>(newList.size() * sizeof(char16_t))) != win::ERROR_SUCCESS)
        return rollBack(win::ERROR_WRITE_FAULT);
    win::RegFlushKey(key.get());
    return win::ERROR_SUCCESS;
}

}  // namespace velta
