#include "boot/entry_handshake.h"

#include "common/entry_removal.h"
#include "common/handoff_names.h"
#include "common/little_endian.h"
#include "platform/nt/object.h"
#include "platform/nt/process.h"
#include "platform/nt/registry.h"
#include "platform/nt/rtl.h"
#include "platform/nt/status.h"
#include "platform/nt/time.h"

namespace velta::boot {

namespace {

constexpr nt::ULONG kHeaderBytes = nt::KEY_VALUE_PARTIAL_INFORMATION_DATA_OFFSET;
constexpr nt::ULONG kReadBufferBytes = kHeaderBytes + kBootExecuteMaxBytes;  // 32,780

// The list is read into this record and edited in place. Declared as units so that the list
// is addressed with its own type; the header is read byte by byte.
alignas(4096) char16_t g_readBuffer[kReadBufferBytes / sizeof(char16_t)];
static_assert(sizeof(g_readBuffer) == 32780, "registry read buffer");

nt::NTSTATUS SetValue(nt::HANDLE key, const char16_t* name, nt::ULONG type, void* data,
                      nt::ULONG size) {
    nt::UNICODE_STRING valueName;
    nt::RtlInitUnicodeString(&valueName, name);
    return nt::NtSetValueKey(key, &valueName, 0, type, data, size);
}

// Its own result is of no use: there is nowhere else to report to.
void RecordFailure(nt::HANDLE key, nt::NTSTATUS status) {
    uint8_t bytes[4];
    StoreLe32(bytes, static_cast<uint32_t>(status));
    SetValue(key, kVeltamoorMarkerStatus, nt::REG_DWORD, bytes, sizeof(bytes));
}

// Reads BootExecute and checks the record; on success `units`/`count` describe the list.
nt::NTSTATUS ReadBootList(nt::HANDLE key, char16_t** units, uint32_t* count) {
    nt::UNICODE_STRING valueName;
    nt::RtlInitUnicodeString(&valueName, kBootExecute);
    nt::ULONG returned = 0;
    nt::NTSTATUS status = nt::NtQueryValueKey(key, &valueName, nt::KeyValuePartialInformation,
                                              g_readBuffer, sizeof(g_readBuffer), &returned);
    // Warnings such as STATUS_BUFFER_OVERFLOW are as fatal here as errors.
    if (status < 0) return status;

    const auto* header = reinterpret_cast<const uint8_t*>(g_readBuffer);
    const uint32_t type = LoadLe32(header + 4);
    const uint32_t dataLength = LoadLe32(header + 8);
    if (returned < kHeaderBytes || returned > sizeof(g_readBuffer)) return nt::STATUS_DATA_ERROR;
    if (type != nt::REG_MULTI_SZ) return nt::STATUS_DATA_ERROR;
    if (dataLength > returned - kHeaderBytes) return nt::STATUS_DATA_ERROR;
    if (dataLength < 4 || dataLength > kBootExecuteMaxBytes || dataLength % 2 != 0)
        return nt::STATUS_DATA_ERROR;

    *units = g_readBuffer + kHeaderBytes / sizeof(char16_t);
    *count = dataLength / 2;
    return nt::STATUS_SUCCESS;
}

}  // namespace

bool RunEntryHandshake(nt::HANDLE key) {
    char16_t* units = nullptr;
    uint32_t count = 0;
    nt::NTSTATUS status = ReadBootList(key, &units, &count);
    if (status < 0) {
        RecordFailure(key, status);
        return false;
    }

    switch (RemoveBootEntry(units, &count)) {
        case EntryRemovalResult::Absent:
            return false;
        case EntryRemovalResult::Malformed:
            RecordFailure(key, nt::STATUS_DATA_ERROR);
            return false;
        case EntryRemovalResult::Removed:
            break;
    }

    status = SetValue(key, kBootExecute, nt::REG_MULTI_SZ, units, count * 2);
    if (!nt::NT_SUCCESS(status)) {
        RecordFailure(key, status);
        return false;
    }

    nt::LARGE_INTEGER now;
    now.QuadPart = 0;
    status = nt::NtQuerySystemTime(&now);
    if (!nt::NT_SUCCESS(status)) {
        RecordFailure(key, status);
        return false;
    }

    uint8_t timeBytes[8];
    StoreLe64(timeBytes, static_cast<uint64_t>(now.QuadPart));
    status = SetValue(key, kVeltamoorMarkerUtc, nt::REG_QWORD, timeBytes, sizeof(timeBytes));
    if (!nt::NT_SUCCESS(status)) {
        RecordFailure(key, status);
        return false;
    }
    return true;
}

void RunBootEntry(AfterHandshake work) {
    {
        nt::UNICODE_STRING keyName;
        nt::RtlInitUnicodeString(&keyName, kSessionManagerObjectName);
        nt::OBJECT_ATTRIBUTES attributes;
        nt::InitializeObjectAttributes(&attributes, &keyName, nt::OBJ_CASE_INSENSITIVE, nullptr,
                                       nullptr);
        nt::HANDLE opened = nullptr;
        // Without the key nothing can be recorded, so nothing else runs.
        if (nt::NT_SUCCESS(nt::NtOpenKey(&opened, nt::KEY_QUERY_VALUE | nt::KEY_SET_VALUE,
                                         &attributes))) {
            nt::UniqueHandle key(opened);
            if (RunEntryHandshake(key.get()) && work != nullptr) work(key.get());
        }
    }
    nt::NtTerminateProcess(nt::NtCurrentProcess(), 0);
    for (;;) {
    }
}

}  // namespace velta::boot
