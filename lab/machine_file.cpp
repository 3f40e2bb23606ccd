#include "lab/machine_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <tuple>

#include "sim/storage/partition_table.h"
#include "sim/storage/storage.h"
#include "sim/core/text.h"
#include "sim/wmi/state.h"

namespace sim {

namespace {

using Json = nlohmann::json;

// A member of the document, with the path that error messages name.
struct Node {
    const Json& j;
    std::string path;

    Node At(const std::string& key) const {
        std::string sub = path.empty() ? key : path + "." + key;
        if (!j.is_object()) Fail("expected an object");
        if (!j.contains(key)) throw MachineFileError(sub, "is required");
        return {j.at(key), sub};
    }
    Node At(std::size_t i) const { return {j.at(i), path + "[" + std::to_string(i) + "]"}; }
    bool Has(const std::string& key) const { return j.is_object() && j.contains(key) && !j.at(key).is_null(); }
    [[noreturn]] void Fail(const std::string& message) const { throw MachineFileError(path, message); }

    void Only(std::initializer_list<const char*> keys) const {
        if (!j.is_object()) Fail("expected an object");
        std::set<std::string> allowed(keys.begin(), keys.end());
        for (auto it = j.begin(); it != j.end(); ++it)
            if (!allowed.count(it.key())) At(it.key()).Fail("unknown member");
    }
    std::vector<Node> Items() const {
        if (!j.is_array()) Fail("expected an array");
        std::vector<Node> out;
        for (std::size_t i = 0; i < j.size(); ++i) out.push_back(At(i));
        return out;
    }
    bool Bool() const {
        if (!j.is_boolean()) Fail("expected true or false");
        return j.get<bool>();
    }
    std::string String() const {
        if (!j.is_string()) Fail("expected a string");
        std::string s = j.get<std::string>();
        if (s.find('\0') != std::string::npos) Fail("must not contain NUL characters");
        return s;
    }
    // A JSON whole number, or a text of decimal digits ("010" is ten) or of "0x" and
    // hexadecimal digits; no sign, space or other character.
    std::uint64_t Unsigned(std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) const {
        std::uint64_t v = 0;
        if (j.is_number_unsigned()) {
            v = j.get<std::uint64_t>();
        } else if (j.is_number_integer() && j.get<std::int64_t>() >= 0) {
            v = static_cast<std::uint64_t>(j.get<std::int64_t>());
        } else if (j.is_string()) {
            auto parsed = ParseNumberText(String());
            if (!parsed) Fail("expected a whole number in decimal or with 0x, such as 7 or 0x07");
            v = *parsed;
        } else {
            Fail("expected a whole number");
        }
        if (v > max) Fail("must be at most " + std::to_string(max));
        return v;
    }
    std::uint64_t Size() const {
        if (j.is_string()) {
            auto v = ParseSizeText(String());
            if (!v) Fail("expected a size such as \"256 GiB\" or a byte count");
            return *v;
        }
        if (!j.is_number_unsigned() && !(j.is_number_integer() && j.get<std::int64_t>() >= 0))
            Fail("expected a size such as \"256 GiB\" or a byte count");
        return Unsigned();
    }
    win::GUID Guid() const {
        try {
            return GuidFromText(String());
        } catch (const std::invalid_argument&) {
            Fail("expected a GUID such as {01234567-89AB-CDEF-0123-456789ABCDEF}");
        }
    }
};

std::uint32_t BusType(const Node& n) {
    static const std::map<std::string, std::uint32_t> names = {
        {"scsi", 0x1}, {"atapi", 0x2}, {"ata", 0x3}, {"1394", 0x4}, {"ssa", 0x5}, {"fibre", 0x6},
        {"usb", 0x7}, {"raid", 0x8}, {"iscsi", 0x9}, {"sas", 0xa}, {"sata", 0xb}, {"sd", 0xc},
        {"mmc", 0xd}, {"virtual", 0xe}, {"filebackedvirtual", 0xf}, {"spaces", 0x10}, {"nvme", 0x11}};
    if (n.j.is_string()) {
        auto it = names.find(n.String());
        if (it != names.end()) return it->second;
        try {
            return static_cast<std::uint32_t>(n.Unsigned(0xFFFFFFFFu));
        } catch (const MachineFileError&) {
            n.Fail("expected a bus type name (sata, nvme, usb, spaces, ...) or its number");
        }
    }
    return static_cast<std::uint32_t>(n.Unsigned(0xFFFFFFFFu));
}

win::GUID GptType(const Node& n) {
    static const std::map<std::string, const win::GUID*> names = {
        {"basic", &gpt_type::BasicData},       {"efi", &gpt_type::EfiSystem},
        {"msr", &gpt_type::MicrosoftReserved}, {"recovery", &gpt_type::Recovery},
        {"ldm-metadata", &gpt_type::LdmMetadata}, {"ldm-data", &gpt_type::LdmData}};
    auto it = names.find(n.String());
    if (it != names.end()) return *it->second;
    try {
        return GuidFromText(n.String());
    } catch (const std::invalid_argument&) {
        n.Fail("expected basic, efi, msr, recovery, ldm-metadata, ldm-data or a type GUID");
    }
}

std::uint8_t MbrType(const Node& n) { return static_cast<std::uint8_t>(n.Unsigned(0xFF)); }

// A stable, distinct identifier for things the file leaves unnamed.
win::GUID DerivedGuid(std::uint32_t a, std::uint32_t b, std::uint32_t salt) {
    win::GUID g{0x5eed0000u + salt, static_cast<std::uint16_t>(a), static_cast<std::uint16_t>(b), {}};
    g.Data3 = static_cast<std::uint16_t>((g.Data3 & 0x0FFF) | 0x4000);
    g.Data4[0] = 0x80;
    g.Data4[7] = static_cast<std::uint8_t>(salt);
    return g;
}

void CheckSectorMultiple(const Node& n, std::uint64_t v, std::uint32_t sector) {
    if (v % sector != 0) n.Fail("must be a multiple of the logical sector size (" + std::to_string(sector) + ")");
}

bool IsPowerOfTwo(std::uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

constexpr std::uint64_t kMaxSigned64 = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
// Limits that keep what a short file can make the lab hold in memory small: every disk
// with a table and every EBR occupies at least one 64 KiB chunk of simulated bytes.
constexpr std::size_t kMaxDisks = 32;
constexpr std::size_t kMaxLogicalPartitions = 128;
constexpr std::size_t kMaxGptPartitions = 128;
constexpr std::size_t kGptNameChars = 36;
constexpr std::uint64_t kMaxMachineFileBytes = 16u << 20;

// An open file descriptor, closed when it goes.
struct FileDescriptor {
    int fd = -1;
    FileDescriptor() = default;
    explicit FileDescriptor(int f) : fd(f) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// Opens a path for reading without ever blocking (a FIFO or a device without data would
// otherwise hang the open or the read) and says what it is. Only regular files, and for
// images block devices that report a size, are read.
struct OpenedFile {
    FileDescriptor file;
    bool blockDevice = false;
    std::uint64_t size = 0;
};

std::string ErrnoText(int e) { return std::strerror(e); }

OpenedFile OpenForReading(const std::string& path, bool allowBlockDevice, const std::function<void(const std::string&)>& fail) {
    OpenedFile out;
    out.file.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (out.file.fd < 0) fail("cannot read " + path + ": " + ErrnoText(errno));
    struct stat st {};
    if (::fstat(out.file.fd, &st) != 0) fail("cannot read " + path + ": " + ErrnoText(errno));
    if (S_ISDIR(st.st_mode)) fail(path + " is a directory");
    if (S_ISREG(st.st_mode)) {
        out.size = static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISBLK(st.st_mode) && allowBlockDevice) {
        std::uint64_t bytes = 0;
        if (::ioctl(out.file.fd, BLKGETSIZE64, &bytes) != 0 || bytes == 0)
            fail(path + " is a block device whose size cannot be read");
        out.blockDevice = true;
        out.size = bytes;
    } else {
        fail(path + (allowBlockDevice ? " is neither a regular file nor a block device"
                                      : " is not a regular file"));
    }
    // Reads on a regular file never block; clear the flag for the device case.
    int flags = ::fcntl(out.file.fd, F_GETFL);
    if (flags >= 0) ::fcntl(out.file.fd, F_SETFL, flags & ~O_NONBLOCK);
    return out;
}

// Reads `count` bytes at `at`, or fewer at the end of the file.
std::size_t ReadAt(int fd, std::uint8_t* buffer, std::size_t count, std::uint64_t at, const std::function<void(const std::string&)>& fail) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(fd, buffer + done, count - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail("cannot read the image: " + ErrnoText(errno));
        if (got == 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

// The image's bytes as a sparse disk: only its data regions are read (all of a block
// device), and all-zero blocks stay holes, so memory follows the image's data.
DiskBytes LoadImage(const OpenedFile& f, const std::function<void(const std::string&)>& fail) {
    DiskBytes disk(f.size);
    std::vector<std::uint8_t> buffer(DiskBytes::kChunk);
    auto copy = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = from; at < to;) {
            auto n = static_cast<std::size_t>(std::min<std::uint64_t>(to - at, DiskBytes::kChunk));
            std::size_t got = ReadAt(f.file.fd, buffer.data(), n, at, fail);
            if (got == 0) fail("the image ends before its reported size");
            if (std::any_of(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got),
                            [](std::uint8_t b) { return b != 0; }))
                disk.Write(at, buffer.data(), got);
            at += got;
        }
    };
    if (f.blockDevice) {
        copy(0, f.size);
        return disk;
    }
    auto end = static_cast<off_t>(f.size);
    off_t pos = 0;
    while (pos < end) {
        off_t data = ::lseek(f.file.fd, pos, SEEK_DATA);
        if (data < 0) break;  // only holes remain (or the file system cannot say: read on below)
        off_t hole = ::lseek(f.file.fd, data, SEEK_HOLE);
        if (hole < 0 || hole > end) hole = end;
        copy(static_cast<std::uint64_t>(data), static_cast<std::uint64_t>(hole));
        pos = hole;
    }
    if (pos == 0 && end > 0 && ::lseek(f.file.fd, 0, SEEK_DATA) < 0 && errno != ENXIO) copy(0, f.size);
    return disk;
}

// Where a partition ends, refused when it wraps or passes the disk's end.
void CheckOnDisk(const Node& p, std::uint64_t start, std::uint64_t length, std::uint64_t diskSize) {
    if (length == 0) p.At("length").Fail("must not be 0");
    if (start > diskSize || length > diskSize - start)
        p.Fail("the partition (start " + std::to_string(start) + ", length " + std::to_string(length) +
               ") must end on the disk (" + std::to_string(diskSize) + " bytes)");
}

void CheckSectors32(const Node& n, std::uint64_t bytes, std::uint32_t sector) {
    if (bytes / sector > 0xFFFFFFFFull)
        n.Fail("beyond what an MBR entry can hold (2^32 sectors of " + std::to_string(sector) + " bytes)");
}

std::uint32_t SectorSize(const Node& n, std::uint32_t atLeast) {
    auto v = static_cast<std::uint32_t>(n.Unsigned(1u << 20));
    if (v == 0) n.Fail("must not be 0; leave the member out for the default");
    if (v < atLeast) n.Fail("must not be smaller than the logical sector size (" + std::to_string(atLeast) + ")");
    return v;
}

// A table at the declared sector size, or else a hint when one is found at the other size.
void CheckImageTable(const Node& d, const Disk& disk) {
    if (disk.Table().style != TableStyle::Raw) return;
    for (std::uint32_t other : {512u, 4096u}) {
        if (other == disk.logicalSectorSize || disk.Size() % other != 0) continue;
        TableView t = ReadTable(disk.bytes, other);
        if (t.style == TableStyle::Raw) continue;
        (d.Has("logicalSectorSize") ? d.At("logicalSectorSize") : d.At("image"))
            .Fail("no partition table is found with " + std::to_string(disk.logicalSectorSize) +
                  "-byte logical sectors, but " + (t.style == TableStyle::Gpt ? "a GPT" : "an MBR") + " is with " +
                  std::to_string(other) + "-byte sectors: set \"logicalSectorSize\": " + std::to_string(other));
    }
}

void LoadDisk(Machine& m, const Node& d, const std::string& baseDirectory) {
    d.Only({"number", "size", "logicalSectorSize", "physicalSectorSize", "alignmentLogicalSectorSize", "busType",
            "removable", "offline", "readOnly", "vendor", "product", "revision", "serial", "style", "diskGuid",
            "signature", "partitions", "logical", "image"});
    std::uint32_t number = static_cast<std::uint32_t>(d.At("number").Unsigned(0xFFFFFFFFu));
    if (m.storage.FindDisk(number) != nullptr) d.At("number").Fail("disk " + std::to_string(number) + " appears twice");
    std::uint32_t logical = 512;
    if (d.Has("logicalSectorSize")) {
        logical = SectorSize(d.At("logicalSectorSize"), 1);
        if (!IsPowerOfTwo(logical) || logical < 512)
            d.At("logicalSectorSize").Fail("must be a power of two of at least 512 (Windows uses 512 or 4096)");
    }
    std::uint32_t physical = d.Has("physicalSectorSize") ? SectorSize(d.At("physicalSectorSize"), logical) : logical;

    Disk* disk = nullptr;
    if (d.Has("image")) {
        for (const char* k : {"size", "style", "diskGuid", "signature", "partitions", "logical"})
            if (d.Has(k)) d.At(k).Fail("a disk loaded from an image takes its size and table from the image");
        Node image = d.At("image");
        std::string path = image.String();
        if (path.empty()) image.Fail("must not be empty");
        if (path[0] != '/') path = baseDirectory + "/" + path;
        auto fail = [&](const std::string& message) { image.Fail(message); };
        OpenedFile file = OpenForReading(path, true, fail);
        if (file.size == 0 || file.size % logical != 0)
            image.Fail("the image size (" + std::to_string(file.size) +
                       " bytes) must be a non-zero multiple of the logical sector size (" + std::to_string(logical) + ")");
        disk = &m.storage.AddDisk(number, 0, logical, physical);
        disk->bytes = LoadImage(file, fail);
    } else {
        std::uint64_t size = d.At("size").Size();
        if (size == 0) d.At("size").Fail("must not be 0");
        if (size > kMaxSigned64)
            d.At("size").Fail("a disk larger than 2^63 - 1 bytes cannot be reported by the disk geometry");
        CheckSectorMultiple(d.At("size"), size, logical);
        disk = &m.storage.AddDisk(number, size, logical, physical);
    }
    if (d.Has("alignmentLogicalSectorSize"))
        disk->alignmentLogicalSectorSize = SectorSize(d.At("alignmentLogicalSectorSize"), 1);
    if (d.Has("busType")) disk->busType = BusType(d.At("busType"));
    if (d.Has("removable")) disk->removable = d.At("removable").Bool();
    if (d.Has("offline")) disk->offline = d.At("offline").Bool();
    if (d.Has("readOnly")) disk->readOnly = d.At("readOnly").Bool();
    auto identity = [&](const char* key, std::optional<std::string>& field) {
        if (!d.j.contains(key)) return;
        field = d.j.at(key).is_null() ? std::nullopt : std::optional<std::string>(d.At(key).String());
    };
    identity("vendor", disk->identity.vendor);
    identity("product", disk->identity.product);
    identity("revision", disk->identity.revision);
    identity("serial", disk->identity.serial);

    if (d.Has("image")) {
        CheckImageTable(d, *disk);
        return;
    }
    const std::uint64_t diskSize = disk->Size();
    std::string style = d.Has("style") ? d.At("style").String() : "raw";
    try {
        if (style == "gpt") {
            if (d.Has("signature")) d.At("signature").Fail("only an MBR disk has a signature");
            if (d.Has("logical")) d.At("logical").Fail("only an MBR disk has logical partitions");
            win::GUID diskId = d.Has("diskGuid") ? d.At("diskGuid").Guid() : DerivedGuid(number, 0, 0xD1);
            std::vector<GptPartitionSpec> entries;
            if (d.Has("partitions")) {
                auto items = d.At("partitions").Items();
                if (items.size() > kMaxGptPartitions)
                    d.At("partitions").Fail("a GPT holds at most " + std::to_string(kMaxGptPartitions) + " entries");
                std::size_t i = 0;
                for (const Node& p : items) {
                    p.Only({"start", "length", "type", "guid", "attributes", "name"});
                    GptPartitionSpec s;
                    s.start = p.At("start").Size();
                    s.length = p.At("length").Size();
                    CheckSectorMultiple(p.At("start"), s.start, logical);
                    CheckSectorMultiple(p.At("length"), s.length, logical);
                    CheckOnDisk(p, s.start, s.length, diskSize);
                    s.type = p.Has("type") ? GptType(p.At("type")) : gpt_type::BasicData;
                    s.id = p.Has("guid") ? p.At("guid").Guid() : DerivedGuid(number, static_cast<std::uint32_t>(++i), 0xA1);
                    if (p.Has("attributes")) s.attributes = p.At("attributes").Unsigned();
                    if (p.Has("name")) {
                        s.name = ToU16(p.At("name").String());
                        if (s.name.size() > kGptNameChars)
                            p.At("name").Fail("a GPT name holds at most 36 UTF-16 characters");
                    }
                    entries.push_back(s);
                }
            }
            WriteGpt(disk->bytes, logical, diskId, entries);
        } else if (style == "mbr") {
            if (d.Has("diskGuid")) d.At("diskGuid").Fail("only a GPT disk has a disk GUID");
            std::uint32_t signature = d.Has("signature") ? static_cast<std::uint32_t>(d.At("signature").Unsigned(0xFFFFFFFFu))
                                                         : 0x5EED0000u + number;
            auto entriesOf = [&](const char* key, bool allowEbr) {
                std::vector<MbrPartitionSpec> out;
                if (!d.Has(key)) return out;
                auto items = d.At(key).Items();
                if (allowEbr && items.size() > kMaxLogicalPartitions)
                    d.At(key).Fail("at most " + std::to_string(kMaxLogicalPartitions) + " logical partitions");
                for (const Node& p : items) {
                    if (allowEbr)
                        p.Only({"start", "length", "type", "active", "ebr"});
                    else
                        p.Only({"start", "length", "type", "active"});
                    MbrPartitionSpec s;
                    s.start = p.At("start").Size();
                    s.length = p.At("length").Size();
                    CheckSectorMultiple(p.At("start"), s.start, logical);
                    CheckSectorMultiple(p.At("length"), s.length, logical);
                    CheckOnDisk(p, s.start, s.length, diskSize);
                    CheckSectors32(p.At("start"), s.start, logical);
                    CheckSectors32(p.At("length"), s.length, logical);
                    s.type = p.Has("type") ? MbrType(p.At("type")) : 0x07;
                    if (p.Has("active")) s.active = p.At("active").Bool();
                    if (allowEbr && p.Has("ebr")) {
                        s.ebrOffset = p.At("ebr").Size();
                        CheckSectorMultiple(p.At("ebr"), *s.ebrOffset, logical);
                        if (*s.ebrOffset >= s.start) p.At("ebr").Fail("the EBR must lie before its partition");
                    }
                    out.push_back(s);
                }
                return out;
            };
            auto primaries = entriesOf("partitions", false);
            if (primaries.size() > 4) d.At("partitions").Fail("an MBR holds at most four primary entries");
            WriteMbr(disk->bytes, logical, signature, primaries, entriesOf("logical", true));
        } else if (style == "raw") {
            if (d.Has("partitions")) d.At("partitions").Fail("a raw disk has no partitions; set \"style\"");
            if (d.Has("logical")) d.At("logical").Fail("a raw disk has no partitions; set \"style\"");
        } else {
            d.At("style").Fail("expected gpt, mbr or raw");
        }
    } catch (const std::invalid_argument& e) {
        d.Fail(std::string("the partition table cannot be written: ") + e.what());
    }
}

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// A path below a drive root: "X:\" then names separated by single backslashes, none empty
// and none holding a character Windows refuses in a file name.
bool IsFolderPath(std::u16string_view p, bool trailingBackslash) {
    if (p.size() < 3 || !IsLetter(p[0]) || p[1] != u':' || p[2] != u'\\') return false;
    std::u16string_view rest = p.substr(3);
    if (rest.empty()) return trailingBackslash;
    if (trailingBackslash) {
        if (rest.back() != u'\\') return false;
        rest.remove_suffix(1);
    } else if (rest.back() == u'\\') {
        return false;
    }
    std::size_t nameLength = 0;
    for (char16_t c : rest) {
        if (c == u'\\') {
            if (nameLength == 0) return false;
            nameLength = 0;
            continue;
        }
        if (c < 0x20 || std::u16string_view(u"<>:\"/|?*").find(c) != std::u16string_view::npos) return false;
        ++nameLength;
    }
    return nameLength != 0;
}

// What loading the volumes needs to look up, kept so that each lookup is a map search:
// loading stays linear in the number of volumes, and each disk's table is parsed once.
struct VolumeIndex {
    std::map<std::uint32_t, TableView> tables;
    std::set<std::u16string> mountPoints;   // folded
    std::set<std::u16string> guids;         // folded GUID paths
    std::set<std::tuple<std::uint32_t, std::uint64_t, std::uint64_t>> singleExtents;

    const TableView& TableOf(const Disk& d) {
        auto it = tables.find(d.number);
        if (it == tables.end()) it = tables.emplace(d.number, d.Table()).first;
        return it->second;
    }
};

void LoadVolume(Machine& m, const Node& v, VolumeIndex& index) {
    v.Only({"disk", "partition", "extents", "guid", "mountPoints", "fileSystem", "clusterSize", "size", "used",
            "label", "bitlocker", "supportedSize"});
    Volume vol;
    if (v.Has("guid")) vol.guid = v.At("guid").Guid();
    std::vector<std::pair<std::u16string, Node>> mounts;
    if (v.Has("mountPoints")) {
        for (const Node& mp : v.At("mountPoints").Items()) {
            std::u16string p = ToU16(mp.String());
            if (!IsFolderPath(p, true))
                mp.Fail("expected a drive root such as \"C:\\\\\" or a folder path ending in a backslash such as "
                        "\"C:\\\\Mount\\\\Data\\\\\"");
            if (!index.mountPoints.insert(FoldCase(p)).second) mp.Fail("mount point already used by another volume");
            vol.mountPoints.push_back(p);
        }
    }
    if (v.Has("fileSystem")) vol.fileSystem = ToU16(v.At("fileSystem").String());
    if (v.Has("clusterSize")) {
        Node c = v.At("clusterSize");
        std::uint64_t cluster = c.Size();
        if (cluster == 0) c.Fail("must not be 0; leave the member out for the default (4096)");
        if (!IsPowerOfTwo(cluster) || cluster < 512 || cluster > (2u << 20))
            c.Fail("must be a power of two from 512 bytes to 2 MiB");
        vol.clusterSize = static_cast<std::uint32_t>(cluster);
    }
    if (v.Has("size")) {
        vol.sizeBytes = v.At("size").Size();
        if (vol.sizeBytes == 0) v.At("size").Fail("must not be 0; leave the member out for the default");
    }
    if (v.Has("used")) vol.usedBytes = v.At("used").Size();
    if (v.Has("label")) vol.label = ToU16(v.At("label").String());

    std::optional<std::pair<std::uint32_t, std::uint32_t>> onPartition;
    if (v.Has("extents")) {
        if (v.Has("disk") || v.Has("partition")) v.At("extents").Fail("give either disk and partition, or extents");
        std::uint64_t total = 0;
        for (const Node& e : v.At("extents").Items()) {
            e.Only({"disk", "offset", "length"});
            Extent x{static_cast<std::uint32_t>(e.At("disk").Unsigned(0xFFFFFFFFu)), e.At("offset").Size(),
                     e.At("length").Size()};
            const Disk* disk = m.storage.FindDisk(x.diskNumber);
            if (disk == nullptr) e.At("disk").Fail("no such disk");
            if (x.length == 0) e.At("length").Fail("must not be 0");
            CheckSectorMultiple(e.At("offset"), x.offset, disk->logicalSectorSize);
            CheckSectorMultiple(e.At("length"), x.length, disk->logicalSectorSize);
            if (x.offset > disk->Size() || x.length > disk->Size() - x.offset)
                e.Fail("the extent must lie on the disk and not be empty");
            if (x.length > kMaxSigned64 - total) e.Fail("the volume's extents add up to more than 2^63 - 1 bytes");
            total += x.length;
            vol.extents.push_back(x);
        }
        if (vol.extents.empty()) v.At("extents").Fail("a volume needs at least one extent");
        if (vol.extents.size() == 1 &&
            index.singleExtents.count({vol.extents[0].diskNumber, vol.extents[0].offset, vol.extents[0].length}))
            v.At("extents").Fail("another volume already lies on this extent");
        if (!v.Has("guid")) vol.guid = DerivedGuid(vol.extents[0].diskNumber, static_cast<std::uint32_t>(m.storage.Volumes().size() + 1), 0xE5);
    } else {
        auto diskNumber = static_cast<std::uint32_t>(v.At("disk").Unsigned(0xFFFFFFFFu));
        auto partition = static_cast<std::uint32_t>(v.At("partition").Unsigned(0xFFFFFFFFu));
        const Disk* disk = m.storage.FindDisk(diskNumber);
        if (disk == nullptr) v.At("disk").Fail("no such disk");
        const TableView& table = index.TableOf(*disk);
        const LayoutEntry* entry = table.FindPartition(partition);
        if (entry == nullptr)
            v.At("partition").Fail("disk " + std::to_string(diskNumber) + " has no partition " + std::to_string(partition));
        if (index.singleExtents.count({diskNumber, entry->offset, entry->length}))
            v.At("partition").Fail("another volume already lies on this partition");
        vol.extents = {Extent{diskNumber, entry->offset, entry->length}};
        onPartition = {diskNumber, partition};
    }

    // The file system's size: what is given, else the extents less one sector.
    std::uint64_t extentBytes = 0;
    for (const auto& e : vol.extents) extentBytes += e.length;
    if (vol.sizeBytes > extentBytes)
        v.At("size").Fail("a file system cannot be larger than its " + std::string(onPartition ? "partition" : "extents") +
                          " (" + std::to_string(extentBytes) + " bytes)");

    Volume* added = nullptr;
    if (onPartition) {
        const LayoutEntry* entry = index.TableOf(*m.storage.FindDisk(onPartition->first)).FindPartition(onPartition->second);
        added = &m.storage.AddVolumeOnPartition(onPartition->first, *entry, vol);
    } else {
        added = &m.storage.AddVolume(vol);
    }
    if (added->extents.size() == 1)
        index.singleExtents.insert({added->extents[0].diskNumber, added->extents[0].offset, added->extents[0].length});
    if (!index.guids.insert(FoldCase(added->GuidPath())).second)
        (v.Has("guid") ? v.At("guid") : v).Fail("two volumes have the same GUID");
    std::uint64_t fileSystemBytes = m.storage.FileSystemBytes(*added);
    if (added->usedBytes > fileSystemBytes)
        v.At("used").Fail("more than the file system's size (" + std::to_string(fileSystemBytes) + " bytes)");

    if (v.Has("bitlocker")) {
        Node b = v.At("bitlocker");
        b.Only({"present", "conversionStatus", "protectionStatus", "conversionReturn", "protectionReturn"});
        BitLockerState s;
        if (b.Has("present")) s.present = b.At("present").Bool();
        if (b.Has("conversionStatus")) s.conversionStatus = static_cast<std::uint32_t>(b.At("conversionStatus").Unsigned(0xFFFFFFFFu));
        if (b.Has("protectionStatus")) s.protectionStatus = static_cast<std::uint32_t>(b.At("protectionStatus").Unsigned(0xFFFFFFFFu));
        if (b.Has("conversionReturn")) s.conversionReturn = static_cast<std::uint32_t>(b.At("conversionReturn").Unsigned(0xFFFFFFFFu));
        if (b.Has("protectionReturn")) s.protectionReturn = static_cast<std::uint32_t>(b.At("protectionReturn").Unsigned(0xFFFFFFFFu));
        m.wmi.bitLocker[FoldCase(added->GuidPath())] = s;
    }
    if (v.Has("supportedSize")) {
        Node s = v.At("supportedSize");
        if (!onPartition) s.Fail("only a volume given by disk and partition has a supported size");
        s.Only({"min", "max", "returnValue"});
        SupportedSizeLimit limit;
        if (s.Has("min")) limit.sizeMin = s.At("min").Size();
        if (s.Has("max")) limit.sizeMax = s.At("max").Size();
        if (s.Has("returnValue")) limit.returnValue = static_cast<std::uint32_t>(s.At("returnValue").Unsigned(0xFFFFFFFFu));
        if (limit.sizeMin && limit.sizeMax && *limit.sizeMin > *limit.sizeMax) s.Fail("min must not exceed max");
        m.wmi.supportedSize[*onPartition] = limit;
    }
}

// Parses the document, refusing a member that appears twice in one object (the JSON
// library would silently keep the last); the error names the member's path.
Json ParseDocument(const std::string& text) {
    struct Frame {
        bool object;
        std::string path;
        std::set<std::string> keys;
        std::string key;
        std::size_t index = 0;
    };
    std::vector<Frame> stack;
    auto childPath = [&]() -> std::string {
        if (stack.empty()) return "";
        const Frame& f = stack.back();
        if (f.object) return f.path.empty() ? f.key : f.path + "." + f.key;
        return f.path + "[" + std::to_string(f.index) + "]";
    };
    auto completed = [&] {
        if (!stack.empty() && !stack.back().object) ++stack.back().index;
    };
    Json::parser_callback_t callback = [&](int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                stack.push_back({true, childPath(), {}, {}, 0});
                break;
            case Json::parse_event_t::array_start:
                stack.push_back({false, childPath(), {}, {}, 0});
                break;
            case Json::parse_event_t::key: {
                Frame& f = stack.back();
                std::string key = parsed.get<std::string>();
                if (!f.keys.insert(key).second)
                    throw MachineFileError(f.path.empty() ? key : f.path + "." + key, "appears twice in the same object");
                f.key = key;
                break;
            }
            case Json::parse_event_t::object_end:
            case Json::parse_event_t::array_end:
                stack.pop_back();
                completed();
                break;
            case Json::parse_event_t::value:
                completed();
                break;
        }
        return true;
    };
    try {
        return Json::parse(text, callback);
    } catch (const Json::parse_error& e) {
        throw MachineFileError("", std::string("not valid JSON: ") + e.what());
    }
}

}  // namespace

std::optional<std::uint64_t> ParseNumberText(const std::string& text) {
    std::size_t i = 0;
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        i = 2;
    }
    if (i >= text.size()) return std::nullopt;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        unsigned digit = c >= '0' && c <= '9'                 ? static_cast<unsigned>(c - '0')
                         : base == 16 && c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                         : base == 16 && c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                              : 99u;
        if (digit >= base) return std::nullopt;
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

std::optional<std::uint64_t> ParseSizeText(const std::string& text) {
    std::size_t i = 0;
    std::uint64_t value = 0;
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(text[i++] - '0');
    }
    if (i < text.size() && text[i] == ' ') ++i;
    std::string unit = text.substr(i);
    static const std::map<std::string, int> shifts = {{"B", 0}, {"KiB", 10}, {"MiB", 20}, {"GiB", 30}, {"TiB", 40}};
    if (unit.empty()) return i == text.size() && text.back() != ' ' ? std::optional<std::uint64_t>(value) : std::nullopt;
    auto it = shifts.find(unit);
    if (it == shifts.end()) return std::nullopt;
    if (it->second > 0 && value > (std::numeric_limits<std::uint64_t>::max() >> it->second)) return std::nullopt;
    return value << it->second;
}

void LoadMachineText(Machine& m, const std::string& jsonText, const std::string& baseDirectory) {
    Json doc = ParseDocument(jsonText);
    Node root{doc, ""};
    root.Only({"description", "language", "windowsDirectory", "wmi", "disks", "volumes"});
    if (root.Has("description")) root.At("description").String();
    if (root.Has("language")) {
        std::string language = root.At("language").String();
        if (language == "en")
            m.uiLanguage = 0x0409;
        else if (language == "zh")
            m.uiLanguage = 0x0804;
        else
            root.At("language").Fail("expected en or zh");
    }
    if (root.Has("windowsDirectory")) {
        std::u16string dir = ToU16(root.At("windowsDirectory").String());
        if (!IsFolderPath(dir, false) || dir.size() >= 248)
            root.At("windowsDirectory").Fail("expected a full path such as C:\\Windows");
        m.windowsDirectory = dir;
        m.files.AddDirectory(dir + u"\\System32");
    }
    if (root.Has("wmi")) {
        Node w = root.At("wmi");
        w.Only({"encryptionNamespace", "storageNamespace"});
        if (w.Has("encryptionNamespace")) m.wmi.encryptionNamespace = w.At("encryptionNamespace").Bool();
        if (w.Has("storageNamespace")) m.wmi.storageNamespace = w.At("storageNamespace").Bool();
    }
    if (root.Has("disks")) {
        auto disks = root.At("disks").Items();
        if (disks.size() > kMaxDisks) root.At("disks").Fail("at most " + std::to_string(kMaxDisks) + " disks");
        for (const Node& d : disks) LoadDisk(m, d, baseDirectory);
    }
    if (root.Has("volumes")) {
        VolumeIndex index;
        for (const Node& v : root.At("volumes").Items()) LoadVolume(m, v, index);
    }
}

void RequireWindowsVolume(const Machine& m) {
    std::u16string mountPoint;
    if (m.storage.VolumeOfPath(m.windowsDirectory, &mountPoint) == nullptr)
        throw MachineFileError("windowsDirectory",
                               "no disk holds the Windows volume: no volume is mounted at " +
                                   ToUtf8(m.windowsDirectory.substr(0, 3)) + " or at a folder above " +
                                   ToUtf8(m.windowsDirectory));
}

void LoadMachineFile(Machine& m, const std::string& path) {
    auto fail = [&](const std::string& message) { throw MachineFileError("", message); };
    OpenedFile file = OpenForReading(path, false, fail);
    if (file.size > kMaxMachineFileBytes)
        fail("the file has " + std::to_string(file.size) + " bytes; a machine file has at most " +
             std::to_string(kMaxMachineFileBytes));
    std::string text(static_cast<std::size_t>(file.size), '\0');
    std::size_t got = ReadAt(file.file.fd, reinterpret_cast<std::uint8_t*>(text.data()), text.size(), 0, fail);
    text.resize(got);
    auto slash = path.find_last_of('/');
    LoadMachineText(m, text, slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace sim
