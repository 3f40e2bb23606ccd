// The contents of a simulated disk: real bytes, held sparsely in memory, or backed by a raw
// image file. Bytes never written read as zero, so a 2 TiB disk costs only what its tables
// and file systems occupy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// How a disk uses the image file it was opened from.
enum class ImageMode {
    CopyOnWrite,   // reads come from the file, writes stay in memory: the file never changes
    WriteInPlace,  // reads and writes go to the file (pread/pwrite); Flush is fdatasync
};

class DiskBytes {
public:
    static constexpr std::uint64_t kChunk = 64 * 1024;

    explicit DiskBytes(std::uint64_t size = 0) : size_(size) {}

    std::uint64_t Size() const { return size_; }
    // Reads and writes must lie within the disk; out-of-range access is a logic error.
    void Read(std::uint64_t offset, void* out, std::size_t count) const;
    void Write(std::uint64_t offset, const void* data, std::size_t count);
    std::vector<std::uint8_t> Read(std::uint64_t offset, std::size_t count) const;
    // Copies all of `source` to `offset` (holes stay holes): a partition image, made by mkntfs
    // for example, placed inside a disk.
    void Place(const DiskBytes& source, std::uint64_t offset);
    // Forgets a range (it reads as zero again).
    void Zero(std::uint64_t offset, std::uint64_t count);
    // Makes what was written durable: fdatasync for a disk written in place, nothing else.
    // Returns false when the file system reports a failure.
    bool Flush();

    // Loads a raw image file into memory (holes are skipped where the file system reports
    // them); the file is not kept open.
    static DiskBytes LoadImage(const std::string& path);
    // A disk backed by an image file; throws std::runtime_error when it cannot be opened.
    static DiskBytes OpenImage(const std::string& path, ImageMode mode);
    // Writes the disk as a sparse raw image file of exactly Size() bytes.
    void SaveImage(const std::string& path) const;

    bool FileBacked() const { return image_ != nullptr; }
    bool WritesInPlace() const { return image_ != nullptr && inPlace_; }

    // Bytes held in memory, for tests of sparseness.
    std::size_t ResidentChunks() const { return chunks_.size(); }

    // While a gate is installed on this thread, every Write and Zero of any disk reports
    // itself to it first, once per call; the gate may throw to stop the write (a power cut).
    // Writes outside a gate, as when a test builds a machine, are not reported.
    class WriteGate {
    public:
        explicit WriteGate(std::function<void()> beforeWrite);
        WriteGate(const WriteGate&) = delete;
        WriteGate& operator=(const WriteGate&) = delete;
        ~WriteGate();

    private:
        std::function<void()> beforeWrite_;
        WriteGate* previous_;
        friend class DiskBytes;
    };

private:
    struct ImageFile;
    using Chunk = std::vector<std::uint8_t>;
    void ReadFromImage(std::uint64_t offset, void* out, std::size_t count) const;
    void WriteToImage(std::uint64_t offset, const void* data, std::size_t count);
    static void BeforeWrite();

    std::uint64_t size_ = 0;
    std::map<std::uint64_t, Chunk> chunks_;  // chunk index -> kChunk bytes
    std::shared_ptr<ImageFile> image_;
    bool inPlace_ = false;
};

}  // namespace sim
