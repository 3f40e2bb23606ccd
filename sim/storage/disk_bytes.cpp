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
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

thread_local DiskBytes::WriteGate* t_gate = nullptr;

bool AllZero(const std::uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](std::uint8_t b) { return b == 0; });
}

}  // namespace

struct DiskBytes::ImageFile {
    Fd fd;
    std::string path;
};

DiskBytes::WriteGate::WriteGate(std::function<void()> beforeWrite)
    : beforeWrite_(std::move(beforeWrite)), previous_(t_gate) {
    t_gate = this;
}

DiskBytes::WriteGate::~WriteGate() { t_gate = previous_; }

void DiskBytes::BeforeWrite() {
    if (t_gate != nullptr && t_gate->beforeWrite_) t_gate->beforeWrite_();
}

void DiskBytes::ReadFromImage(std::uint64_t offset, void* out, std::size_t count) const {
    auto* dst = static_cast<std::uint8_t*>(out);
    while (count > 0) {
        ssize_t got = ::pread(image_->fd.fd, dst, count, static_cast<off_t>(offset));
        if (got < 0) throw std::runtime_error("cannot read disk image " + image_->path);
        if (got == 0) {  // a file shorter than the disk reads as zero beyond its end
            std::memset(dst, 0, count);
            return;
        }
        dst += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
}

void DiskBytes::WriteToImage(std::uint64_t offset, const void* data, std::size_t count) {
    const auto* src = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        ssize_t put = ::pwrite(image_->fd.fd, src, count, static_cast<off_t>(offset));
        if (put <= 0) throw std::runtime_error("cannot write disk image " + image_->path);
        src += put;
        offset += static_cast<std::uint64_t>(put);
        count -= static_cast<std::size_t>(put);
    }
}

void DiskBytes::Read(std::uint64_t offset, void* out, std::size_t count) const {
    CheckRange(size_, offset, count);
    if (WritesInPlace()) return ReadFromImage(offset, out, count);
    auto* dst = static_cast<std::uint8_t*>(out);
    while (count > 0) {
        std::uint64_t index = offset / kChunk;
        std::uint64_t within = offset % kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk - within));
        auto it = chunks_.find(index);
        if (it != chunks_.end())
            std::memcpy(dst, it->second.data() + within, n);
        else if (image_)
            ReadFromImage(offset, dst, n);
        else
            std::memset(dst, 0, n);
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
    if (count == 0) return;
    BeforeWrite();
    if (WritesInPlace()) return WriteToImage(offset, data, count);
    const auto* src = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        std::uint64_t index = offset / kChunk;
        std::uint64_t within = offset % kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kChunk - within));
        auto& chunk = chunks_[index];
        if (chunk.empty()) {
            chunk.assign(kChunk, 0);
            // Copy-on-write: the rest of the chunk keeps the image's bytes.
            if (image_) {
                std::uint64_t at = index * kChunk;
                ReadFromImage(at, chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - at)));
            }
        }
        std::memcpy(chunk.data() + within, src, n);
        src += n;
        offset += n;
        count -= n;
    }
}

void DiskBytes::Place(const DiskBytes& source, std::uint64_t offset) {
    CheckRange(size_, offset, source.size_);
    Zero(offset, source.size_);
    std::vector<std::uint8_t> buffer(kChunk);
    for (std::uint64_t at = 0; at < source.size_; at += kChunk) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, source.size_ - at));
        if (!source.image_ && source.chunks_.count(at / kChunk) == 0) continue;
        source.Read(at, buffer.data(), n);
        if (!AllZero(buffer.data(), n)) Write(offset + at, buffer.data(), n);
    }
}

void DiskBytes::Zero(std::uint64_t offset, std::uint64_t count) {
    CheckRange(size_, offset, count);
    if (count == 0) return;
    BeforeWrite();
    static const std::vector<std::uint8_t> zeros(kChunk, 0);
    while (count > 0) {
        std::uint64_t index = offset / kChunk;
        std::uint64_t within = offset % kChunk;
        std::uint64_t n = std::min<std::uint64_t>(count, kChunk - within);
        if (WritesInPlace()) {
            WriteToImage(offset, zeros.data(), static_cast<std::size_t>(n));
        } else if (image_) {
            // The image below still holds data: keep an explicit zeroed chunk over it.
            auto& chunk = chunks_[index];
            if (chunk.empty()) {
                chunk.assign(kChunk, 0);
                std::uint64_t at = index * kChunk;
                ReadFromImage(at, chunk.data(), static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - at)));
            }
            std::memset(chunk.data() + within, 0, static_cast<std::size_t>(n));
        } else if (within == 0 && n == kChunk) {
            chunks_.erase(index);
        } else if (auto it = chunks_.find(index); it != chunks_.end()) {
            std::memset(it->second.data() + within, 0, static_cast<std::size_t>(n));
        }
        offset += n;
        count -= n;
    }
}

bool DiskBytes::Flush() {
    if (!WritesInPlace()) return true;
    return ::fdatasync(image_->fd.fd) == 0;
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
            if (!AllZero(buffer.data(), u)) disk.Write(static_cast<std::uint64_t>(at), buffer.data(), u);
            at += got;
        }
        pos = hole;
    }
    return disk;
}

DiskBytes DiskBytes::OpenImage(const std::string& path, ImageMode mode) {
    auto image = std::make_shared<ImageFile>();
    image->path = path;
    image->fd.fd = ::open(path.c_str(), mode == ImageMode::WriteInPlace ? O_RDWR : O_RDONLY);
    if (image->fd.fd < 0) throw std::runtime_error("cannot open disk image " + path);
    off_t end = ::lseek(image->fd.fd, 0, SEEK_END);
    if (end < 0) throw std::runtime_error("cannot size disk image " + path);
    DiskBytes disk(static_cast<std::uint64_t>(end));
    disk.image_ = std::move(image);
    disk.inPlace_ = mode == ImageMode::WriteInPlace;
    return disk;
}

void DiskBytes::SaveImage(const std::string& path) const {
    Fd f{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
    if (f.fd < 0) throw std::runtime_error("cannot create disk image " + path);
    if (::ftruncate(f.fd, static_cast<off_t>(size_)) != 0)
        throw std::runtime_error("cannot size disk image " + path);
    auto put = [&](std::uint64_t at, const std::uint8_t* p, std::size_t n) {
        if (::pwrite(f.fd, p, n, static_cast<off_t>(at)) != static_cast<ssize_t>(n))
            throw std::runtime_error("cannot write disk image " + path);
    };
    std::vector<std::uint8_t> buffer(kChunk);
    if (image_) {
        // The image's data ranges, as this disk reads them now; all-zero chunks stay holes.
        off_t end = static_cast<off_t>(size_);
        off_t pos = 0;
        while (pos < end) {
            off_t data = ::lseek(image_->fd.fd, pos, SEEK_DATA);
            if (data < 0) break;
            off_t hole = ::lseek(image_->fd.fd, data, SEEK_HOLE);
            if (hole < 0 || hole > end) hole = end;
            for (std::uint64_t at = static_cast<std::uint64_t>(data) / kChunk * kChunk;
                 at < static_cast<std::uint64_t>(hole); at += kChunk) {
                std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - at));
                Read(at, buffer.data(), n);
                if (!AllZero(buffer.data(), n)) put(at, buffer.data(), n);
            }
            pos = hole;
        }
    }
    for (const auto& [index, chunk] : chunks_) {
        std::uint64_t at = index * kChunk;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size_ - at));
        if (image_ || !AllZero(chunk.data(), n)) put(at, chunk.data(), n);
    }
}

}  // namespace sim
