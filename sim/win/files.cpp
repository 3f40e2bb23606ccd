// File and handle calls of the simulated PC.
#include <algorithm>
#include <cstring>

#include "platform/win/constants.h"
#include "platform/win/files.h"
#include "sim/storage/devices.h"
#include "sim/core/machine.h"
#include "sim/core/text.h"

namespace win {

namespace {

// An open file of the FileStore. Writes land in the store at once, so a failed or short
// transfer leaves exactly what reached the file.
class FileObject : public sim::HandleObject {
public:
    FileObject(sim::Machine& m, std::u16string path, DWORD access, DWORD share, bool writeThrough)
        : machine_(m), path_(std::move(path)), access_(access), share_(share), writeThrough_(writeThrough) {}
    const std::u16string& path() const { return path_; }
    DWORD share() const { return share_; }
    std::uint32_t FileType() const override { return FILE_TYPE_DISK; }
    sim::ErrorCode Write(const void* data, std::uint32_t size, std::uint32_t* written) override {
        if ((access_ & GENERIC_WRITE) == 0) return ERROR_ACCESS_DENIED;
        auto* bytes = machine_.files.GetMutable(path_);
        if (bytes == nullptr) return ERROR_FILE_NOT_FOUND;
        std::uint32_t n = size;
        if (auto f = machine_.faults.Hit("WriteFile")) {
            if (!f->transferLimit) return f->code;
            n = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, *f->transferLimit));
        }
        // A write-through file's data is on the disk when the call returns.
        if (writeThrough_) machine_.faults.DurableWrite();
        if (bytes->size() < position_ + n) bytes->resize(position_ + n);
        std::memcpy(bytes->data() + position_, data, n);
        position_ += n;
        *written = n;
        return 0;
    }
    sim::ErrorCode Read(void* data, std::uint32_t size, std::uint32_t* read) override {
        if ((access_ & GENERIC_READ) == 0) return ERROR_ACCESS_DENIED;
        const auto* bytes = machine_.files.Get(path_);
        if (bytes == nullptr) return ERROR_FILE_NOT_FOUND;
        std::uint64_t n = position_ >= bytes->size() ? 0 : std::min<std::uint64_t>(size, bytes->size() - position_);
        std::memcpy(data, bytes->data() + position_, n);
        position_ += n;
        *read = static_cast<std::uint32_t>(n);
        return 0;
    }
    sim::ErrorCode Flush() override {
        if (auto f = machine_.faults.Hit("FlushFileBuffers")) return f->code;
        return 0;
    }

private:
    sim::Machine& machine_;
    std::u16string path_;
    DWORD access_;
    DWORD share_;
    bool writeThrough_;
    std::uint64_t position_ = 0;
};

bool IsDevicePath(std::u16string_view p) {
    return p.size() >= 4 && p[0] == u'\\' && p[1] == u'\\' && (p[2] == u'.' || p[2] == u'?') && p[3] == u'\\';
}

std::u16string_view ParentOf(std::u16string_view path) {
    auto pos = path.find_last_of(u'\\');
    return pos == std::u16string_view::npos ? std::u16string_view() : path.substr(0, pos);
}

// An open handle that keeps the file from being deleted: one opened without FILE_SHARE_DELETE.
bool OpenWithoutDeleteSharing(const sim::Machine& m, std::u16string_view path) {
    bool found = false;
    m.handles.ForEach([&](sim::HandleObject& object) {
        auto* file = dynamic_cast<FileObject*>(&object);
        if (file != nullptr && (file->share() & FILE_SHARE_DELETE) == 0 &&
            sim::EqualsNoCase(file->path(), path))
            found = true;
    });
    return found;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, void*, DWORD disposition, DWORD flags,
                   HANDLE) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("CreateFileW")) {
        sim::SetLastError(f->code);
        return INVALID_HANDLE_VALUE;
    }
    if (path == nullptr || *path == 0) {
        sim::SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::u16string_view p(path);
    if (IsDevicePath(p)) {
        sim::ErrorCode error = 0;
        auto device = sim::OpenDevice(m, p, access, share, &error);
        if (!device) {
            sim::SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        return m.handles.Add(std::move(device));
    }
    bool exists = m.files.Exists(p);
    if (!m.files.DirectoryExists(ParentOf(p)) || m.files.DirectoryExists(p)) {
        sim::SetLastError(m.files.DirectoryExists(p) ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (exists && (access & GENERIC_WRITE) != 0 && (m.files.Attributes(p) & FILE_ATTRIBUTE_READONLY) != 0) {
        sim::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    switch (disposition) {
        case CREATE_NEW:
            if (exists) {
                sim::SetLastError(ERROR_FILE_EXISTS);
                return INVALID_HANDLE_VALUE;
            }
            m.files.Put(p, {});
            break;
        case CREATE_ALWAYS:
            m.files.Put(p, {});
            break;
        case OPEN_EXISTING:
            if (!exists) {
                sim::SetLastError(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            break;
        case OPEN_ALWAYS:
            if (!exists) m.files.Put(p, {});
            break;
        case TRUNCATE_EXISTING:
            if (!exists) {
                sim::SetLastError(ERROR_FILE_NOT_FOUND);
                return INVALID_HANDLE_VALUE;
            }
            m.files.Put(p, {});
            break;
        default:
            sim::SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    sim::SetLastError(exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                            : ERROR_SUCCESS);
    return m.handles.Add(std::make_shared<FileObject>(m, std::u16string(p), access, share,
                                                      (flags & FILE_FLAG_WRITE_THROUGH) != 0));
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, DWORD* written, void*) {
    auto object = sim::Current().handles.Get(file);
    if (written != nullptr) *written = 0;
    if (!object) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::uint32_t n = 0;
    sim::ErrorCode e = object->Write(buffer, size, &n);
    if (written != nullptr) *written = n;
    if (e != 0) {
        sim::SetLastError(e);
        return FALSE;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, DWORD* read, void*) {
    auto object = sim::Current().handles.Get(file);
    if (read != nullptr) *read = 0;
    if (!object) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::uint32_t n = 0;
    sim::ErrorCode e = object->Read(buffer, size, &n);
    if (read != nullptr) *read = n;
    if (e != 0) {
        sim::SetLastError(e);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
    auto object = sim::Current().handles.Get(file);
    if (!object) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    sim::ErrorCode e = object->Flush();
    if (e != 0) {
        sim::SetLastError(e);
        return FALSE;
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE object) {
    if (!sim::Current().handles.Close(object)) {
        sim::SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("DeleteFileW")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    if (path == nullptr || *path == 0) {
        sim::SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::u16string_view p(path);
    if (m.files.DirectoryExists(p)) {
        sim::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!m.files.Exists(p)) {
        sim::SetLastError(m.files.DirectoryExists(ParentOf(p)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // A read-only file, or one that is open without delete sharing (an image in use), stays.
    if ((m.files.Attributes(p) & FILE_ATTRIBUTE_READONLY) != 0) {
        sim::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (OpenWithoutDeleteSharing(m, p)) {
        sim::SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    m.files.Remove(p);
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("GetFileAttributesW")) {
        sim::SetLastError(f->code);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (path == nullptr || *path == 0) {
        sim::SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    std::u16string_view p(path);
    if (m.files.DirectoryExists(p)) return FILE_ATTRIBUTE_DIRECTORY;
    if (m.files.Exists(p)) return m.files.Attributes(p);
    sim::SetLastError(m.files.DirectoryExists(ParentOf(p)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("SetFileAttributesW")) {
        sim::SetLastError(f->code);
        return FALSE;
    }
    if (path == nullptr || *path == 0 || attributes == INVALID_FILE_ATTRIBUTES) {
        sim::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string_view p(path);
    if (!m.files.Exists(p)) {
        sim::SetLastError(m.files.DirectoryExists(ParentOf(p)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // FILE_ATTRIBUTE_NORMAL alone clears the others; the directory bit cannot be set.
    DWORD kept = attributes & ~(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL);
    m.files.SetAttributes(p, kept == 0 && (attributes & FILE_ATTRIBUTE_NORMAL) != 0 ? FILE_ATTRIBUTE_NORMAL : kept);
    return TRUE;
}

UINT GetSystemWindowsDirectoryW(LPWSTR buffer, UINT size) {
    auto& m = sim::Current();
    if (auto f = m.faults.Hit("GetSystemWindowsDirectoryW")) {
        sim::SetLastError(f->code);
        return 0;
    }
    const auto& dir = m.windowsDirectory;
    if (buffer == nullptr || size <= dir.size()) return static_cast<UINT>(dir.size() + 1);
    std::memcpy(buffer, dir.data(), dir.size() * sizeof(char16_t));
    buffer[dir.size()] = 0;
    return static_cast<UINT>(dir.size());
}

}  // namespace win
