// Kernel objects that simulated handles refer to, and the machine's handle table.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

namespace sim {

// Result of a desktop-side operation on an object: 0 for success, else a Win32 error code.
using ErrorCode = std::uint32_t;
// Result of a device operation: an NTSTATUS, as the drivers answer. The Win32 layer maps it
// down with DosErrorOf (sim/nt/dos_error.h).
using NtStatus = std::int32_t;

class HandleObject {
public:
    virtual ~HandleObject() = default;
    // FILE_TYPE_* of GetFileType.
    virtual std::uint32_t FileType() const { return 0; }
    // Sequential transfers of the desktop side (console, files).
    virtual ErrorCode Write(const void* data, std::uint32_t size, std::uint32_t* written);
    virtual ErrorCode Read(void* data, std::uint32_t size, std::uint32_t* read);
    virtual ErrorCode Flush();

    // Device requests, as a driver answers them. `returned` receives the byte count written
    // to `out` (or transferred). The defaults refuse with STATUS_INVALID_DEVICE_REQUEST.
    virtual NtStatus Control(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                             std::uint32_t outSize, std::uint32_t* returned);
    virtual NtStatus ReadAt(std::uint64_t offset, void* data, std::uint32_t size,
                            std::uint32_t* transferred);
    virtual NtStatus WriteAt(std::uint64_t offset, const void* data, std::uint32_t size,
                             std::uint32_t* transferred);
    virtual NtStatus FlushBuffers();
    // The handle is being closed by its owner (not dropped by a power cut).
    virtual void OnClose() {}
};

class HandleTable {
public:
    // A persistent handle (a standard handle) does not count as open for leak checks.
    void* Add(std::shared_ptr<HandleObject> object, bool persistent = false);
    std::shared_ptr<HandleObject> Get(void* handle) const;
    bool Close(void* handle);
    // Handles opened by the programs and not yet closed.
    std::size_t OpenCount() const;
    // Every open object, persistent or not.
    void ForEach(const std::function<void(HandleObject&)>& visit) const;
    // Forgets every non-persistent handle without closing it (what a power cut leaves).
    void DropAll();

private:
    struct Entry {
        std::shared_ptr<HandleObject> object;
        bool persistent;
    };
    std::map<std::uintptr_t, Entry> entries_;
    std::uintptr_t next_ = 0x100;
};

}  // namespace sim
