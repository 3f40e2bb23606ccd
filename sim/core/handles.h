// Kernel objects that simulated handles refer to, and the machine's handle table.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

namespace sim {

// Result of an operation on an object: 0 for success, else a Win32 error code.
using ErrorCode = std::uint32_t;

class HandleObject {
public:
    virtual ~HandleObject() = default;
    // FILE_TYPE_* of GetFileType.
    virtual std::uint32_t FileType() const { return 0; }
    virtual ErrorCode Write(const void* data, std::uint32_t size, std::uint32_t* written);
    virtual ErrorCode Read(void* data, std::uint32_t size, std::uint32_t* read);
    virtual ErrorCode Flush();
    // DeviceIoControl. `returned` receives the byte count written to `out`.
    virtual ErrorCode Ioctl(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                            std::uint32_t outSize, std::uint32_t* returned);
};

class HandleTable {
public:
    // A persistent handle (a standard handle) does not count as open for leak checks.
    void* Add(std::shared_ptr<HandleObject> object, bool persistent = false);
    std::shared_ptr<HandleObject> Get(void* handle) const;
    bool Close(void* handle);
    // Handles opened by the programs and not yet closed.
    std::size_t OpenCount() const;

private:
    struct Entry {
        std::shared_ptr<HandleObject> object;
        bool persistent;
    };
    std::map<std::uintptr_t, Entry> entries_;
    std::uintptr_t next_ = 0x100;
};

}  // namespace sim
