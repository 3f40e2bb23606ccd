// File and device calls of the native API on the simulated PC.
//
// Object names: "\Device\HarddiskN\Partition0" (the whole disk N; PartitionM, M > 0, is the
// volume on partition M), "\GLOBAL??\" or "\??\" followed by "Volume{guid}" (the volume;
// with a trailing backslash its root directory), "PhysicalDriveN" or a drive letter "C:"
// (and files below "C:\"), and "\SystemRoot\..." (files under the Windows directory).
// Without OBJ_CASE_INSENSITIVE names must match the case Windows gives them
// ("\Device\Harddisk0\Partition0", "Volume{" and lower-case hexadecimal, "\SystemRoot",
// a file's stored name); with it, case is ignored.
//
// Fault names: "NtCreateFile", "NtReadFile", "NtWriteFile", "NtFlushBuffersFile"; device and
// file-system controls by their control code's name (sim::ControlName). A transfer limit makes
// a transfer succeed short; flipLastWord makes a read hand back data whose last 8-byte word
// differs from the device's.
#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/nt/file.h"
#include "platform/nt/status.h"
#include "sim/core/text.h"
#include "sim/nt/native_call.h"
#include "sim/storage/devices.h"

namespace nt {

namespace {

constexpr NTSTATUS STATUS_OBJECT_NAME_INVALID = static_cast<NTSTATUS>(0xC0000033u);
constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = static_cast<NTSTATUS>(0xC0000024u);
constexpr NTSTATUS STATUS_FILE_IS_A_DIRECTORY = static_cast<NTSTATUS>(0xC00000BAu);
constexpr NTSTATUS STATUS_NOT_A_DIRECTORY = static_cast<NTSTATUS>(0xC0000103u);
constexpr NTSTATUS STATUS_FILE_DELETED = static_cast<NTSTATUS>(0xC0000123u);
constexpr ULONG_PTR FILE_SUPERSEDED = 0;
constexpr ULONG_PTR FILE_OVERWRITTEN = 3;
constexpr std::uint32_t kFileDeviceFileSystem = 0x09;

std::u16string_view View(const UNICODE_STRING& s) {
    return std::u16string_view(s.Buffer, s.Length / sizeof(WCHAR));
}

bool IsValid(const UNICODE_STRING* s) {
    if (s == nullptr) return false;
    if (s->Length % 2 != 0 || s->Length > s->MaximumLength) return false;
    return s->Length == 0 || s->Buffer != nullptr;
}

// A file of the FileStore opened natively. Without FILE_WRITE_THROUGH its writes wait in the
// cache until a flush or the close; a power cut loses them. With it, every write is durable.
class NativeFile : public sim::SharedObject {
public:
    NativeFile(sim::Machine& m, std::u16string path, const sim::OpenRequest& r, bool directory)
        : SharedObject("file:" + sim::ToUtf8(sim::FoldCase(path)), r), machine_(m), path_(std::move(path)),
          writeThrough_(r.writeThrough), directory_(directory) {}

    sim::NtStatus ReadAt(std::uint64_t offset, void* data, std::uint32_t size, std::uint32_t* done) override {
        *done = 0;
        if (directory_) return STATUS_INVALID_DEVICE_REQUEST;
        if (!read_) return STATUS_ACCESS_DENIED;
        const std::vector<std::uint8_t>* bytes = cache_ ? &*cache_ : machine_.files.Get(path_);
        if (bytes == nullptr) return STATUS_FILE_DELETED;
        if (size == 0) return STATUS_SUCCESS;
        if (offset >= bytes->size()) return STATUS_END_OF_FILE;
        auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(size, bytes->size() - offset));
        std::memcpy(data, bytes->data() + offset, n);
        *done = n;
        return STATUS_SUCCESS;
    }

    sim::NtStatus WriteAt(std::uint64_t offset, const void* data, std::uint32_t size, std::uint32_t* done) override {
        *done = 0;
        if (directory_) return STATUS_INVALID_DEVICE_REQUEST;
        if (!write_) return STATUS_ACCESS_DENIED;
        std::vector<std::uint8_t>* stored = machine_.files.GetMutable(path_);
        if (stored == nullptr) return STATUS_FILE_DELETED;
        if (offset > 0xFFFFFFFFull) return STATUS_DISK_FULL;
        if (writeThrough_) machine_.faults.DurableWrite();
        std::vector<std::uint8_t>& bytes = writeThrough_ ? *stored : Cache(*stored);
        if (bytes.size() < offset + size) bytes.resize(static_cast<std::size_t>(offset + size));
        if (size > 0) std::memcpy(bytes.data() + offset, data, size);
        *done = size;
        return STATUS_SUCCESS;
    }

    sim::NtStatus FlushBuffers() override {
        if (!write_) return STATUS_ACCESS_DENIED;
        Commit();
        return STATUS_SUCCESS;
    }

    void OnClose() override { Commit(); }

private:
    std::vector<std::uint8_t>& Cache(const std::vector<std::uint8_t>& stored) {
        if (!cache_) cache_ = stored;
        return *cache_;
    }
    void Commit() {
        if (!cache_) return;
        machine_.faults.DurableWrite();
        if (auto* stored = machine_.files.GetMutable(path_)) *stored = std::move(*cache_);
        cache_.reset();
    }

    sim::Machine& machine_;
    std::u16string path_;
    bool writeThrough_;
    bool directory_;
    std::optional<std::vector<std::uint8_t>> cache_;
};

struct NameMatch {
    bool caseInsensitive;
    bool Equal(std::u16string_view a, std::u16string_view b) const {
        return caseInsensitive ? sim::EqualsNoCase(a, b) : a == b;
    }
    // Consumes `prefix` from the front of `s`.
    bool Take(std::u16string_view& s, std::u16string_view prefix) const {
        if (s.size() < prefix.size() || !Equal(s.substr(0, prefix.size()), prefix)) return false;
        s.remove_prefix(prefix.size());
        return true;
    }
};

// Decimal digits at the front of `s`, consumed; none when there are none or too many.
std::optional<std::uint32_t> TakeNumber(std::u16string_view& s) {
    std::size_t n = 0;
    std::uint64_t v = 0;
    while (n < s.size() && s[n] >= u'0' && s[n] <= u'9' && n < 10) v = v * 10 + (s[n++] - u'0');
    if (n == 0 || v > 0xFFFFFFFFu || (n < s.size() && s[n] >= u'0' && s[n] <= u'9')) return std::nullopt;
    s.remove_prefix(n);
    return static_cast<std::uint32_t>(v);
}

struct CreateRequest {
    ACCESS_MASK access;
    ULONG share;
    ULONG disposition;
    ULONG options;
    NameMatch match;
};

// A file or directory of the FileStore, by its Win32 path.
NTSTATUS OpenStoreFile(sim::Machine& m, const std::u16string& path, const CreateRequest& c,
                       std::shared_ptr<sim::HandleObject>* object, ULONG_PTR* information) {
    auto slash = path.find_last_of(u'\\');
    std::u16string parent = slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
    const bool wantsDirectory = (c.options & FILE_DIRECTORY_FILE) != 0;
    const bool wantsFile = (c.options & FILE_NON_DIRECTORY_FILE) != 0;
    sim::OpenRequest r{c.access, c.share, (c.options & FILE_NO_INTERMEDIATE_BUFFERING) != 0,
                       (c.options & FILE_WRITE_THROUGH) != 0};
    std::string key = "file:" + sim::ToUtf8(sim::FoldCase(path));

    if (m.files.DirectoryExists(path)) {
        if (wantsFile) return STATUS_FILE_IS_A_DIRECTORY;
        if (c.disposition == FILE_CREATE) return STATUS_OBJECT_NAME_COLLISION;
        if (c.disposition != FILE_OPEN && c.disposition != FILE_OPEN_IF) return STATUS_INVALID_PARAMETER;
        if (NTSTATUS s = sim::CheckSharing(m, key, r); s != STATUS_SUCCESS) return s;
        *object = std::make_shared<NativeFile>(m, path, r, true);
        *information = FILE_OPENED;
        return STATUS_SUCCESS;
    }
    if (!m.files.DirectoryExists(parent)) return STATUS_OBJECT_PATH_NOT_FOUND;
    bool exists = m.files.Exists(path);
    if (exists && !c.match.caseInsensitive) {
        // A case-sensitive lookup finds only the name as stored.
        for (const auto& stored : m.files.Paths())
            if (sim::EqualsNoCase(stored, path) && stored != path)
                return c.disposition == FILE_OPEN || c.disposition == FILE_OVERWRITE ? STATUS_OBJECT_NAME_NOT_FOUND
                                                                                     : STATUS_OBJECT_NAME_COLLISION;
    }
    if (exists && wantsDirectory) return STATUS_NOT_A_DIRECTORY;
    if (exists) {
        if (NTSTATUS s = sim::CheckSharing(m, key, r); s != STATUS_SUCCESS) return s;
    }
    switch (c.disposition) {
        case FILE_SUPERSEDE:
            *information = exists ? FILE_SUPERSEDED : FILE_CREATED;
            break;
        case FILE_OPEN:
            if (!exists) return STATUS_OBJECT_NAME_NOT_FOUND;
            *information = FILE_OPENED;
            break;
        case FILE_CREATE:
            if (exists) return STATUS_OBJECT_NAME_COLLISION;
            *information = FILE_CREATED;
            break;
        case FILE_OPEN_IF:
            *information = exists ? FILE_OPENED : FILE_CREATED;
            break;
        case FILE_OVERWRITE:
            if (!exists) return STATUS_OBJECT_NAME_NOT_FOUND;
            *information = FILE_OVERWRITTEN;
            break;
        case FILE_OVERWRITE_IF:
            *information = exists ? FILE_OVERWRITTEN : FILE_CREATED;
            break;
        default:
            return STATUS_INVALID_PARAMETER;
    }
    if (wantsDirectory) {
        if (*information != FILE_CREATED) return STATUS_INVALID_PARAMETER;
        m.files.AddDirectory(path);
        *object = std::make_shared<NativeFile>(m, path, r, true);
        return STATUS_SUCCESS;
    }
    // Creating, superseding and overwriting change the file at once: the file system's own
    // journal makes them durable, unlike the data written later.
    if (*information != FILE_OPENED) m.files.Put(path, {});
    *object = std::make_shared<NativeFile>(m, path, r, false);
    return STATUS_SUCCESS;
}

NTSTATUS OpenByName(sim::Machine& m, std::u16string_view name, const CreateRequest& c,
                    std::shared_ptr<sim::HandleObject>* object, ULONG_PTR* information) {
    const NameMatch& match = c.match;
    sim::OpenRequest r{c.access, c.share, (c.options & FILE_NO_INTERMEDIATE_BUFFERING) != 0,
                       (c.options & FILE_WRITE_THROUGH) != 0};
    auto openedDevice = [&](NTSTATUS s) {
        if (NT_SUCCESS(s)) *information = FILE_OPENED;
        return s;
    };
    std::u16string_view rest = name;
    if (match.Take(rest, u"\\Device\\")) {
        if (!match.Take(rest, u"Harddisk")) return STATUS_OBJECT_NAME_NOT_FOUND;
        auto disk = TakeNumber(rest);
        if (!disk || m.storage.FindDisk(*disk) == nullptr) return STATUS_OBJECT_PATH_NOT_FOUND;
        if (rest.empty()) return STATUS_OBJECT_TYPE_MISMATCH;  // the disk's object directory
        if (!match.Take(rest, u"\\Partition")) return STATUS_OBJECT_NAME_NOT_FOUND;
        auto partition = TakeNumber(rest);
        if (!partition) return STATUS_OBJECT_NAME_NOT_FOUND;
        if (!rest.empty()) return STATUS_OBJECT_PATH_NOT_FOUND;
        if (*partition == 0) return openedDevice(sim::OpenDisk(m, *disk, r, object));
        const sim::Disk* d = m.storage.FindDisk(*disk);
        const sim::LayoutEntry* p = d->Table().FindPartition(*partition);
        sim::Volume* v = p == nullptr ? nullptr : m.storage.FindVolumeOnExtent(*disk, p->offset, p->length);
        if (v == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
        return openedDevice(sim::OpenVolume(m, *v, r, object));
    }
    if (match.Take(rest, u"\\SystemRoot")) {
        if (!rest.empty() && rest.front() != u'\\') return STATUS_OBJECT_NAME_NOT_FOUND;
        return OpenStoreFile(m, m.windowsDirectory + std::u16string(rest), c, object, information);
    }
    if (match.Take(rest, u"\\GLOBAL??\\") || match.Take(rest, u"\\??\\")) {
        for (auto& v : m.storage.Volumes()) {
            std::u16string link = v.GuidPath().substr(4);  // "Volume{...}\"
            link.pop_back();
            std::u16string_view after = rest;
            if (!match.Take(after, link)) continue;
            if (after.empty()) return openedDevice(sim::OpenVolume(m, v, r, object));
            if (after == u"\\") {
                if (c.options & FILE_NON_DIRECTORY_FILE) return STATUS_FILE_IS_A_DIRECTORY;
                *object = sim::OpenRootDirectory();
                *information = FILE_OPENED;
                return STATUS_SUCCESS;
            }
        }
        std::u16string_view drive = rest;
        if (match.Take(drive, u"PhysicalDrive")) {
            auto disk = TakeNumber(drive);
            if (!disk || !drive.empty() || m.storage.FindDisk(*disk) == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
            return openedDevice(sim::OpenDisk(m, *disk, r, object));
        }
        if (rest.size() >= 2 && rest[1] == u':') {
            std::u16string letter(rest.substr(0, 2));
            sim::Volume* v = m.storage.FindVolumeByMountPoint(letter + u"\\");
            if (v == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
            if (rest.size() == 2) return openedDevice(sim::OpenVolume(m, *v, r, object));
            return OpenStoreFile(m, std::u16string(rest), c, object, information);
        }
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    return STATUS_OBJECT_PATH_NOT_FOUND;
}

std::shared_ptr<sim::HandleObject> ObjectOf(sim::Machine& m, HANDLE handle) { return m.handles.Get(handle); }

void SetIoStatus(PIO_STATUS_BLOCK io, NTSTATUS status, ULONG_PTR information) {
    io->Status = status;
    io->Information = information;
}

bool IsFileSystemControl(ULONG code) { return (code >> 16) == kFileDeviceFileSystem; }

NTSTATUS Transfer(HANDLE fileHandle, PIO_STATUS_BLOCK io, PVOID buffer, ULONG length,
                  PLARGE_INTEGER byteOffset, bool write) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        auto fault = m.faults.Hit(write ? "NtWriteFile" : "NtReadFile");
        if (fault && !fault->transferLimit && !fault->flipLastWord) return static_cast<NTSTATUS>(fault->code);
        auto object = ObjectOf(m, fileHandle);
        if (!object) return STATUS_INVALID_HANDLE;
        if (io == nullptr || (buffer == nullptr && length > 0)) return STATUS_INVALID_PARAMETER;
        // Every handle of the programs is synchronous with explicit offsets; the special
        // offsets (end of file, current position) are not modelled.
        if (byteOffset == nullptr || byteOffset->QuadPart < 0) return STATUS_INVALID_PARAMETER;
        auto offset = static_cast<std::uint64_t>(byteOffset->QuadPart);
        ULONG n = length;
        if (fault && fault->transferLimit) n = static_cast<ULONG>(std::min<std::uint64_t>(n, *fault->transferLimit));
        std::uint32_t done = 0;
        NTSTATUS s = write ? object->WriteAt(offset, buffer, n, &done) : object->ReadAt(offset, buffer, n, &done);
        if (!write && NT_SUCCESS(s) && fault && fault->flipLastWord && done >= 8) {
            auto* last = static_cast<std::uint8_t*>(buffer) + (done / 8) * 8 - 8;
            for (int i = 0; i < 8; ++i) last[i] = static_cast<std::uint8_t>(~last[i]);
        }
        SetIoStatus(io, s, done);
        return s;
    });
}

NTSTATUS Control(HANDLE fileHandle, PIO_STATUS_BLOCK io, ULONG code, PVOID in, ULONG inSize, PVOID out,
                 ULONG outSize, bool fileSystem) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        auto fault = m.faults.Hit(sim::ControlName(code, in, inSize));
        if (fault && !fault->transferLimit) return static_cast<NTSTATUS>(fault->code);
        auto object = ObjectOf(m, fileHandle);
        if (!object) return STATUS_INVALID_HANDLE;
        if (io == nullptr) return STATUS_INVALID_PARAMETER;
        if ((in == nullptr && inSize > 0) || (out == nullptr && outSize > 0)) return STATUS_INVALID_PARAMETER;
        // File-system requests go down a different path from device requests; a request sent
        // down the wrong one is not understood.
        if (IsFileSystemControl(code) != fileSystem) {
            SetIoStatus(io, STATUS_INVALID_DEVICE_REQUEST, 0);
            return STATUS_INVALID_DEVICE_REQUEST;
        }
        std::uint32_t returned = 0;
        NTSTATUS s = object->Control(code, in, inSize, out, outSize, &returned);
        if (fault && fault->transferLimit)
            returned = static_cast<std::uint32_t>(std::min<std::uint64_t>(returned, *fault->transferLimit));
        SetIoStatus(io, s, returned);
        return s;
    });
}

}  // namespace

NTSTATUS NtCreateFile(PHANDLE fileHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES attributes,
                      PIO_STATUS_BLOCK io, PLARGE_INTEGER, ULONG, ULONG shareAccess, ULONG disposition,
                      ULONG options, PVOID, ULONG) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (auto f = m.faults.Hit("NtCreateFile")) return static_cast<NTSTATUS>(f->code);
        if (fileHandle == nullptr || io == nullptr || attributes == nullptr ||
            attributes->Length != sizeof(OBJECT_ATTRIBUTES))
            return STATUS_INVALID_PARAMETER;
        *fileHandle = nullptr;
        if (!IsValid(attributes->ObjectName)) return STATUS_OBJECT_NAME_INVALID;
        if (disposition > FILE_OVERWRITE_IF) return STATUS_INVALID_PARAMETER;
        if ((options & FILE_DIRECTORY_FILE) && (options & FILE_NON_DIRECTORY_FILE)) return STATUS_INVALID_PARAMETER;
        if (shareAccess & ~(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) return STATUS_INVALID_PARAMETER;
        if (attributes->RootDirectory != nullptr)
            return m.handles.Get(attributes->RootDirectory) ? STATUS_OBJECT_TYPE_MISMATCH : STATUS_INVALID_HANDLE;
        std::u16string_view name = View(*attributes->ObjectName);
        if (name.empty() || name.front() != u'\\') return STATUS_OBJECT_PATH_SYNTAX_BAD;
        CreateRequest c{desiredAccess, shareAccess, disposition, options,
                        NameMatch{(attributes->Attributes & OBJ_CASE_INSENSITIVE) != 0}};
        std::shared_ptr<sim::HandleObject> object;
        ULONG_PTR information = 0;
        NTSTATUS s = OpenByName(m, name, c, &object, &information);
        if (!NT_SUCCESS(s)) return s;
        *fileHandle = m.handles.Add(std::move(object));
        SetIoStatus(io, s, information);
        return s;
    });
}

NTSTATUS NtReadFile(HANDLE fileHandle, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK io, PVOID buffer,
                    ULONG length, PLARGE_INTEGER byteOffset, PULONG) {
    return Transfer(fileHandle, io, buffer, length, byteOffset, false);
}

NTSTATUS NtWriteFile(HANDLE fileHandle, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK io, PVOID buffer,
                     ULONG length, PLARGE_INTEGER byteOffset, PULONG) {
    return Transfer(fileHandle, io, buffer, length, byteOffset, true);
}

NTSTATUS NtFlushBuffersFile(HANDLE fileHandle, PIO_STATUS_BLOCK io) {
    return sim::NativeCall([&](sim::Machine& m) -> NTSTATUS {
        if (auto f = m.faults.Hit("NtFlushBuffersFile")) return static_cast<NTSTATUS>(f->code);
        auto object = ObjectOf(m, fileHandle);
        if (!object) return STATUS_INVALID_HANDLE;
        if (io == nullptr) return STATUS_INVALID_PARAMETER;
        NTSTATUS s = object->FlushBuffers();
        SetIoStatus(io, s, 0);
        return s;
    });
}

NTSTATUS NtDeviceIoControlFile(HANDLE fileHandle, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK io,
                               ULONG code, PVOID in, ULONG inSize, PVOID out, ULONG outSize) {
    return Control(fileHandle, io, code, in, inSize, out, outSize, false);
}

NTSTATUS NtFsControlFile(HANDLE fileHandle, HANDLE, PIO_APC_ROUTINE, PVOID, PIO_STATUS_BLOCK io, ULONG code,
                         PVOID in, ULONG inSize, PVOID out, ULONG outSize) {
    return Control(fileHandle, io, code, in, inSize, out, outSize, true);
}

}  // namespace nt
