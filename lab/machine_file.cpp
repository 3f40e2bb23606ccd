#include "lab/machine_file.h"

#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>

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
        return j.get<std::string>();
    }
    std::uint64_t Unsigned(std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) const {
        std::uint64_t v = 0;
        if (j.is_number_unsigned()) {
            v = j.get<std::uint64_t>();
        } else if (j.is_number_integer() && j.get<std::int64_t>() >= 0) {
            v = static_cast<std::uint64_t>(j.get<std::int64_t>());
        } else if (j.is_string()) {
            std::string s = j.get<std::string>();
            try {
                std::size_t used = 0;
                v = std::stoull(s, &used, 0);
                if (used != s.size() || s.empty() || s[0] == '-' || s[0] == '+') Fail("expected a whole number");
            } catch (const std::logic_error&) {
                Fail("expected a whole number");
            }
        } else {
            Fail("expected a whole number");
        }
        if (v > max) Fail("must be at most " + std::to_string(max));
        return v;
    }
    std::uint64_t Size() const {
        if (j.is_string()) {
            auto v = ParseSizeText(j.get<std::string>());
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

void LoadDisk(Machine& m, const Node& d, const std::string& baseDirectory) {
    d.Only({"number", "size", "logicalSectorSize", "physicalSectorSize", "alignmentLogicalSectorSize", "busType",
            "removable", "offline", "readOnly", "vendor", "product", "revision", "serial", "style", "diskGuid",
            "signature", "partitions", "logical", "image"});
    std::uint32_t number = static_cast<std::uint32_t>(d.At("number").Unsigned(0xFFFFFFFFu));
    if (m.storage.FindDisk(number) != nullptr) d.At("number").Fail("disk " + std::to_string(number) + " appears twice");
    std::uint32_t logical = d.Has("logicalSectorSize") ? static_cast<std::uint32_t>(d.At("logicalSectorSize").Unsigned(1u << 20)) : 512;
    std::uint32_t physical = d.Has("physicalSectorSize") ? static_cast<std::uint32_t>(d.At("physicalSectorSize").Unsigned(1u << 20)) : logical;
    if (logical == 0) d.At("logicalSectorSize").Fail("must not be 0");

    Disk* disk = nullptr;
    if (d.Has("image")) {
        for (const char* k : {"size", "style", "diskGuid", "signature", "partitions", "logical"})
            if (d.Has(k)) d.At(k).Fail("a disk loaded from an image takes its size and table from the image");
        std::string path = d.At("image").String();
        if (!path.empty() && path[0] != '/') path = baseDirectory + "/" + path;
        std::ifstream probe(path, std::ios::binary);
        if (!probe) d.At("image").Fail("cannot read " + path);
        disk = &m.storage.AddDiskFromImage(number, path, logical, physical);
        if (disk->Size() == 0 || disk->Size() % logical != 0)
            d.At("image").Fail("the image size must be a non-zero multiple of the logical sector size");
    } else {
        std::uint64_t size = d.At("size").Size();
        if (size == 0) d.At("size").Fail("must not be 0");
        CheckSectorMultiple(d.At("size"), size, logical);
        disk = &m.storage.AddDisk(number, size, logical, physical);
    }
    if (d.Has("alignmentLogicalSectorSize"))
        disk->alignmentLogicalSectorSize = static_cast<std::uint32_t>(d.At("alignmentLogicalSectorSize").Unsigned(1u << 20));
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

    if (d.Has("image")) return;
    std::string style = d.Has("style") ? d.At("style").String() : "raw";
    try {
        if (style == "gpt") {
            if (d.Has("signature")) d.At("signature").Fail("only an MBR disk has a signature");
            if (d.Has("logical")) d.At("logical").Fail("only an MBR disk has logical partitions");
            win::GUID diskId = d.Has("diskGuid") ? d.At("diskGuid").Guid() : DerivedGuid(number, 0, 0xD1);
            std::vector<GptPartitionSpec> entries;
            if (d.Has("partitions")) {
                std::size_t i = 0;
                for (const Node& p : d.At("partitions").Items()) {
                    p.Only({"start", "length", "type", "guid", "attributes", "name"});
                    GptPartitionSpec s;
                    s.start = p.At("start").Size();
                    s.length = p.At("length").Size();
                    CheckSectorMultiple(p.At("start"), s.start, logical);
                    CheckSectorMultiple(p.At("length"), s.length, logical);
                    s.type = p.Has("type") ? GptType(p.At("type")) : gpt_type::BasicData;
                    s.id = p.Has("guid") ? p.At("guid").Guid() : DerivedGuid(number, static_cast<std::uint32_t>(++i), 0xA1);
                    if (p.Has("attributes")) s.attributes = p.At("attributes").Unsigned();
                    if (p.Has("name")) s.name = ToU16(p.At("name").String());
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
                for (const Node& p : d.At(key).Items()) {
                    if (allowEbr)
                        p.Only({"start", "length", "type", "active", "ebr"});
                    else
                        p.Only({"start", "length", "type", "active"});
                    MbrPartitionSpec s;
                    s.start = p.At("start").Size();
                    s.length = p.At("length").Size();
                    CheckSectorMultiple(p.At("start"), s.start, logical);
                    CheckSectorMultiple(p.At("length"), s.length, logical);
                    s.type = p.Has("type") ? MbrType(p.At("type")) : 0x07;
                    if (p.Has("active")) s.active = p.At("active").Bool();
                    if (allowEbr && p.Has("ebr")) s.ebrOffset = p.At("ebr").Size();
                    out.push_back(s);
                }
                return out;
            };
            auto primaries = entriesOf("partitions", false);
            if (primaries.size() > 4) d.At("partitions").Fail("an MBR holds at most four primary entries");
            WriteMbr(disk->bytes, logical, signature, primaries, entriesOf("logical", true));
        } else if (style == "raw") {
            if (d.Has("partitions")) d.At("partitions").Fail("a raw disk has no partitions; set \"style\"");
        } else {
            d.At("style").Fail("expected gpt, mbr or raw");
        }
    } catch (const std::invalid_argument& e) {
        d.Fail(std::string("the partition table cannot be written: ") + e.what());
    }
}

void LoadVolume(Machine& m, const Node& v) {
    v.Only({"disk", "partition", "extents", "guid", "mountPoints", "fileSystem", "clusterSize", "size", "used",
            "label", "bitlocker", "supportedSize"});
    Volume vol;
    if (v.Has("guid")) vol.guid = v.At("guid").Guid();
    if (v.Has("mountPoints")) {
        for (const Node& mp : v.At("mountPoints").Items()) {
            std::u16string p = ToU16(mp.String());
            if (p.empty()) mp.Fail("must not be empty");
            if (p.back() != u'\\') p += u'\\';
            if (m.storage.FindVolumeByMountPoint(p) != nullptr) mp.Fail("mount point already used by another volume");
            vol.mountPoints.push_back(p);
        }
    }
    if (v.Has("fileSystem")) vol.fileSystem = ToU16(v.At("fileSystem").String());
    if (v.Has("clusterSize")) {
        vol.clusterSize = static_cast<std::uint32_t>(v.At("clusterSize").Unsigned(1u << 30));
        if (vol.clusterSize == 0) v.At("clusterSize").Fail("must not be 0");
    }
    if (v.Has("size")) vol.sizeBytes = v.At("size").Size();
    if (v.Has("used")) vol.usedBytes = v.At("used").Size();
    if (v.Has("label")) vol.label = ToU16(v.At("label").String());

    std::optional<std::pair<std::uint32_t, std::uint32_t>> onPartition;
    Volume* added = nullptr;
    if (v.Has("extents")) {
        if (v.Has("disk") || v.Has("partition")) v.At("extents").Fail("give either disk and partition, or extents");
        for (const Node& e : v.At("extents").Items()) {
            e.Only({"disk", "offset", "length"});
            Extent x{static_cast<std::uint32_t>(e.At("disk").Unsigned(0xFFFFFFFFu)), e.At("offset").Size(),
                     e.At("length").Size()};
            const Disk* disk = m.storage.FindDisk(x.diskNumber);
            if (disk == nullptr) e.At("disk").Fail("no such disk");
            if (x.length == 0 || x.offset > disk->Size() || x.length > disk->Size() - x.offset)
                e.Fail("the extent must lie on the disk and not be empty");
            vol.extents.push_back(x);
        }
        if (vol.extents.empty()) v.At("extents").Fail("a volume needs at least one extent");
        if (!v.Has("guid")) vol.guid = DerivedGuid(vol.extents[0].diskNumber, static_cast<std::uint32_t>(m.storage.Volumes().size() + 1), 0xE5);
        added = &m.storage.AddVolume(vol);
    } else {
        auto disk = static_cast<std::uint32_t>(v.At("disk").Unsigned(0xFFFFFFFFu));
        auto partition = static_cast<std::uint32_t>(v.At("partition").Unsigned(0xFFFFFFFFu));
        if (m.storage.FindDisk(disk) == nullptr) v.At("disk").Fail("no such disk");
        const TableView table = m.storage.FindDisk(disk)->Table();
        if (partition == 0 || table.FindPartition(partition) == nullptr)
            v.At("partition").Fail("disk " + std::to_string(disk) + " has no partition " + std::to_string(partition));
        if (m.storage.FindVolumeOnExtent(disk, table.FindPartition(partition)->offset,
                                         table.FindPartition(partition)->length) != nullptr)
            v.At("partition").Fail("another volume already lies on this partition");
        added = &m.storage.AddVolumeOnPartition(disk, partition, vol);
        onPartition = {disk, partition};
    }
    for (const auto& other : m.storage.Volumes())
        if (&other != added && other.guid == added->guid) v.At("guid").Fail("two volumes have the same GUID");

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

}  // namespace

std::optional<std::uint64_t> ParseSizeText(const std::string& text) {
    std::size_t i = 0;
    std::uint64_t value = 0;
    if (text.empty() || text[0] < '0' || text[0] > '9') return std::nullopt;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value > (std::numeric_limits<std::uint64_t>::max() - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(text[i++] - '0');
    }
    while (i < text.size() && text[i] == ' ') ++i;
    std::string unit = text.substr(i);
    static const std::map<std::string, int> shifts = {{"", 0},   {"B", 0},    {"KiB", 10}, {"MiB", 20},
                                                      {"GiB", 30}, {"TiB", 40}};
    auto it = shifts.find(unit);
    if (it == shifts.end()) return std::nullopt;
    if (it->second > 0 && value > (std::numeric_limits<std::uint64_t>::max() >> it->second)) return std::nullopt;
    return value << it->second;
}

void LoadMachineText(Machine& m, const std::string& jsonText, const std::string& baseDirectory) {
    Json doc;
    try {
        doc = Json::parse(jsonText);
    } catch (const Json::parse_error& e) {
        throw MachineFileError("", std::string("not valid JSON: ") + e.what());
    }
    Node root{doc, ""};
    root.Only({"description", "language", "windowsDirectory", "disks", "volumes"});
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
        if (dir.size() < 3 || dir[1] != u':' || dir[2] != u'\\')
            root.At("windowsDirectory").Fail("expected a full path such as C:\\Windows");
        m.windowsDirectory = dir;
        m.files.AddDirectory(dir + u"\\System32");
    }
    if (root.Has("disks"))
        for (const Node& d : root.At("disks").Items()) LoadDisk(m, d, baseDirectory);
    if (root.Has("volumes"))
        for (const Node& v : root.At("volumes").Items()) LoadVolume(m, v);
}

void LoadMachineFile(Machine& m, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw MachineFileError("", "cannot read " + path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    auto slash = path.find_last_of('/');
    LoadMachineText(m, text, slash == std::string::npos ? "." : path.substr(0, slash));
}

}  // namespace sim
