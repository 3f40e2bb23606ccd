// The contents of a simulated disk: real bytes, held sparsely in memory. Bytes never
// written read as zero, so a 2 TiB disk costs only what its tables and file systems occupy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

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

    // Loads a raw image file (holes are skipped where the file system reports them).
    static DiskBytes LoadImage(const std::string& path);
    // Writes the disk as a sparse raw image file of exactly Size() bytes.
    void SaveImage(const std::string& path) const;

    // Bytes held in memory, for tests of sparseness.
    std::size_t ResidentChunks() const { return chunks_.size(); }

private:
    using Chunk = std::vector<std::uint8_t>;
    std::uint64_t size_ = 0;
    std::map<std::uint64_t, Chunk> chunks_;  // chunk index -> kChunk bytes
};

}  // namespace sim
