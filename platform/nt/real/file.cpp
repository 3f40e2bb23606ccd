// Forwarders to ntdll: file and device calls.
#include "platform/nt/file.h"

extern "C" {
__declspec(dllimport) nt::NTSTATUS __stdcall NtCreateFile(
    nt::PHANDLE, nt::ACCESS_MASK, nt::POBJECT_ATTRIBUTES, nt::PIO_STATUS_BLOCK,
    nt::PLARGE_INTEGER, nt::ULONG, nt::ULONG, nt::ULONG, nt::ULONG, nt::PVOID, nt::ULONG);
__declspec(dllimport) nt::NTSTATUS __stdcall NtReadFile(nt::HANDLE, nt::HANDLE,
                                                        nt::PIO_APC_ROUTINE, nt::PVOID,
                                                        nt::PIO_STATUS_BLOCK, nt::PVOID, nt::ULONG,
                                                        nt::PLARGE_INTEGER, nt::PULONG);
__declspec(dllimport) nt::NTSTATUS __stdcall NtWriteFile(nt::HANDLE, nt::HANDLE,
                                                         nt::PIO_APC_ROUTINE, nt::PVOID,
                                                         nt::PIO_STATUS_BLOCK, nt::PVOID,
                                                         nt::ULONG, nt::PLARGE_INTEGER,
                                                         nt::PULONG);
__declspec(dllimport) nt::NTSTATUS __stdcall NtFlushBuffersFile(nt::HANDLE, nt::PIO_STATUS_BLOCK);
__declspec(dllimport) nt::NTSTATUS __stdcall NtDeviceIoControlFile(
    nt::HANDLE, nt::HANDLE, nt::PIO_APC_ROUTINE, nt::PVOID, nt::PIO_STATUS_BLOCK, nt::ULONG,
    nt::PVOID, nt::ULONG, nt::PVOID, nt::ULONG);
__declspec(dllimport) nt::NTSTATUS __stdcall NtFsControlFile(
    nt::HANDLE, nt::HANDLE, nt::PIO_APC_ROUTINE, nt::PVOID, nt::PIO_STATUS_BLOCK, nt::ULONG,
    nt::PVOID, nt::ULONG, nt::PVOID, nt::ULONG);
}

namespace nt {

NTSTATUS NtCreateFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess,
                      POBJECT_ATTRIBUTES objectAttributes, PIO_STATUS_BLOCK ioStatusBlock,
                      PLARGE_INTEGER allocationSize, ULONG fileAttributes, ULONG shareAccess,
                      ULONG createDisposition, ULONG createOptions, PVOID eaBuffer,
                      ULONG eaLength) {
    return ::NtCreateFile(fileHandle, desiredAccess, objectAttributes, ioStatusBlock,
                          allocationSize, fileAttributes, shareAccess, createDisposition,
                          createOptions, eaBuffer, eaLength);
}

NTSTATUS NtReadFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine, PVOID apcContext,
                    PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer, ULONG length,
                    PLARGE_INTEGER byteOffset, PULONG key) {
    return ::NtReadFile(fileHandle, event, apcRoutine, apcContext, ioStatusBlock, buffer, length,
                        byteOffset, key);
}

NTSTATUS NtWriteFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                     PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, PVOID buffer,
                     ULONG length, PLARGE_INTEGER byteOffset, PULONG key) {
    return ::NtWriteFile(fileHandle, event, apcRoutine, apcContext, ioStatusBlock, buffer, length,
                         byteOffset, key);
}

NTSTATUS NtFlushBuffersFile(HANDLE fileHandle, PIO_STATUS_BLOCK ioStatusBlock) {
    return ::NtFlushBuffersFile(fileHandle, ioStatusBlock);
}

NTSTATUS NtDeviceIoControlFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                               PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock,
                               ULONG ioControlCode, PVOID inputBuffer, ULONG inputBufferLength,
                               PVOID outputBuffer, ULONG outputBufferLength) {
    return ::NtDeviceIoControlFile(fileHandle, event, apcRoutine, apcContext, ioStatusBlock,
                                   ioControlCode, inputBuffer, inputBufferLength, outputBuffer,
                                   outputBufferLength);
}

NTSTATUS NtFsControlFile(HANDLE fileHandle, HANDLE event, PIO_APC_ROUTINE apcRoutine,
                         PVOID apcContext, PIO_STATUS_BLOCK ioStatusBlock, ULONG fsControlCode,
                         PVOID inputBuffer, ULONG inputBufferLength, PVOID outputBuffer,
                         ULONG outputBufferLength) {
    return ::NtFsControlFile(fileHandle, event, apcRoutine, apcContext, ioStatusBlock,
                             fsControlCode, inputBuffer, inputBufferLength, outputBuffer,
                             outputBufferLength);
}

}  // namespace nt
