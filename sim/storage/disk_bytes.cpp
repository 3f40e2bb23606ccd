#include "sim/storage/disk_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

void CheckRange(std::uint64_t size, std::uint64_t offset, std::uint64_t count) {
    if (offset > size || count > size - offset)
        throw std::out_of_range("disk access beyond the end of the simulated disk");
}

struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

void DiskBytes::Read(std::uint64_t offset, void* out, std::size_t count) const {
    CheckRange(size_, offset, count);
    auto* dst = static_cast<std::uint8_t*>(out);
    while (count > 0) {
        std::uint64_t index = offset / kChunk;
        std::uint64_t within = offset % kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk - within));
        auto it = chunks_.find(index);
        if (it == chunks_.end())
            std::memset(dst, 0, n);
        else
            std::memcpy(dst, it->second.data() + within, n);
        dst += n;
        offset += n;
        count -= n;
    }
}

std::vector<std::uint8_t> DiskBytes::Read(std::uint64_t offset, std::size_t count) const {
    std::vector<std::uint8_t> out(count);
    Read(offset, out.data(), count);
    return out;
}

void DiskBytes::Write(std::uint64_t offset, const void* data, std::size_t count) {
    CheckRange(size_, offset, count);
    const auto* src = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        std::uint64_t index = offset / kChunk;
        std::uint64_t within = offset % kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk - within));
        auto& chunk = chunks_[index];
        if (chunk.empty()) chunk.assign(kChunk, 0);
        std::memcpy(chunk.data() + within, src, n);
        src += n;
        offset += n;
        count -= n;
    }
}

void DiskBytes::Place(const DiskBytes& source, std::uint64_t offset) {
    CheckRange(size_, offset, source.size_);
    Zero(offset, source.size_);
    for (const auto& [index, chunk] : source.chunks_) {
        std::uint64_t at = index * kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, source.size_ - at));
        Write(offset + at, chunk.data(), n);
    }
}

void DiskBytes::Zero(std::uint64_t offset, std::uint64_t count) {
    CheckRange(size_, offset, count);
    static const std::vector<std::uint8_t> zeros(kChunk, 0);
    while (count > 0) {
        std::uint64_t index = offset / kChunk;
        std::uint64_t within = offset % kChunk;
        std::uint64_t n = std::min<std::uint64_t>(count, kChunk - within);
        if (within == 0 && n == kChunk)
            chunks_.erase(index);
        else if (chunks_.count(index))
            std::memset(chunks_[index].data() + within, 0, static_cast<std::size_t>(n));
        offset += n;
        count -= n;
    }
}

DiskBytes DiskBytes::LoadImage(const std::string& path) {
    Fd f{::open(path.c_str(), O_RDONLY)};
    if (f.fd < 0) throw std::runtime_error("cannot open disk image " + path);
    off_t end = ::lseek(f.fd, 0, SEEK_END);
    if (end < 0) throw std::runtime_error("cannot size disk image " + path);
    DiskBytes disk(static_cast<std::uint64_t>(end));
    std::vector<std::uint8_t> buffer(kChunk);
    off_t pos = 0;
    while (pos < end) {
        off_t data = ::lseek(f.fd, pos, SEEK_DATA);
        if (data < 0) break;  // only holes remain
        off_t hole = ::lseek(f.fd, data, SEEK_HOLE);
        if (hole < 0) hole = end;
        for (off_t at = data; at < hole;) {
            std::size_t n = static_cast<std::size_t>(std::min<off_t>(hole - at, static_cast<off_t>(kChunk)));
            ssize_t got = ::pread(f.fd, buffer.data(), n, at);
            if (got <= 0) throw std::runtime_error("cannot read disk image " + path);
            auto u = static_cast<std::size_t>(got);
            // All-zero blocks stay holes in memory.
            if (std::any_of(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(u),
                            [](std::uint8_t b) { return b != 0; }))
                disk.Write(static_cast<std::uint64_t>(at), buffer.data(), u);
            at += got;
        }
        pos = hole;
    }
    return disk;
}

void DiskBytes::SaveImage(const std::string& path) const {
    Fd f{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
    if (f.fd < 0) throw std::runtime_error("cannot create disk image " + path);
    if (::ftruncate(f.fd, static_cast<off_t>(size_)) != 0)
        throw std::runtime_error("cannot size disk image " + path);
    for (const auto& [index, chunk] : chunks_) {
        std::uint64_t at = index * kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - at));
        if (::pwrite(f.fd, chunk.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n))
            throw std::runtime_error("cannot write disk image " + path);
    }
}

}  // namespace sim
