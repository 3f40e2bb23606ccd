// File and device calls of the native API: open, read and write at explicit offsets, flush,
// and the device and file-system control requests.
#pragma once

#include "platform/nt/types.h"

namespace nt {

constexpr ACCESS_MASK GENERIC_READ = 0x80000000u;
constexpr ACCESS_MASK GENERIC_WRITE = 0x40000000u;
constexpr ACCESS_MASK SYNCHRONIZE = 0x00100000u;

constexpr ULONG FILE_ATTRIBUTE_NORMAL = 0x00000080;

constexpr ULONG FILE_SHARE_READ = 0x00000001;
constexpr ULONG FILE_SHARE_WRITE = 0x00000002;
constexpr ULONG FILE_SHARE_DELETE = 0x00000004;

// Create dispositions.
constexpr ULONG FILE_SUPERSEDE = 0;
constexpr ULONG FILE_OPEN = 1;
constexpr ULONG FILE_CREATE = 2;
constexpr ULONG FILE_OPEN_IF = 3;
constexpr ULONG FILE_OVERWRITE = 4;
constexpr ULONG FILE_OVERWRITE_IF = 5;

// Create options.
constexpr ULONG FILE_DIRECTORY_FILE = 0x00000001;
constexpr ULONG FILE_WRITE_THROUGH = 0x00000002;
constexpr ULONG FILE_NO_INTERMEDIATE_BUFFERING = 0x00000008;
constexpr ULONG FILE_SYNCHRONOUS_IO_ALERT = 0x00000010;
constexpr ULONG FILE_SYNCHRONOUS_IO_NONALERT = 0x00000020;
constexpr ULONG FILE_NON_DIRECTORY_FILE = 0x00000040;

// IoStatus.Information after NtCreateFile.
constexpr ULONG_PTR FILE_CREATED = 2;
constexpr ULONG_PTR FILE_OPENED = 1;

struct IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;  // bytes transferred, or what a create did
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;

// Asynchronous completion is never used: the programs open every handle for synchronous I/O.
using PIO_APC_ROUTINE = void (*)(PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, ULONG reserved);

#if INTPTR_MAX == INT64_MAX
static_assert(sizeof(IO_STATUS_BLOCK) == 16, "IO_STATUS_BLOCK layout");
#endif

NTSTATUS NtCreateFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess,
                      POBJECT_ATTRIBUTES objectAttributes, PIO_STATUS_BLOCK ioStatusBlock,
                      PLARGE_INTEGER allocationSize, ULONG fileAttributes, ULONG shareAccess,
                      ULONG createDisposition, ULONG createOptions, PVOID eaBuffer,
                      ULONG eaLength);

NTSTATUS NtReadFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                    PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer, ULONG length,
                    PLARGE_INTEGER byteOffset, PULONG key);

NTSTATUS NtWriteFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                     PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer,
                     ULONG length, PLARGE_INTEGER byteOffset, PULONG key);

NTSTATUS NtFlushBuffersFile(HANDLE fileHandle, PIO_STATUS_BLOCK ioStatusBlock);

NTSTATUS NtDeviceIoControlFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                               PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock,
                               ULONG ioControlCode, PVOID inputBuffer, ULONG inputBufferLength,
                               PVOID outputBuffer, ULONG outputBufferLength);

NTSTATUS NtFsControlFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                         PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, ULONG fsControlCode,
                         PVOID inputBuffer, ULONG inputBufferLength, PVOID outputBuffer,
                         ULONG outputBufferLength);

}  // namespace nt
