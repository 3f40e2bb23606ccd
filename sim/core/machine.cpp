#include "sim/core/machine.h"

#include <stdexcept>

#include "sim/core/text.h"

namespace sim {

namespace {

constexpr std::uint32_t kFileTypeDisk = 1;
constexpr std::uint32_t kFileTypeChar = 2;
constexpr std::uint32_t kFileTypePipe = 3;

Machine* g_current = nullptr;
thread_local std::uint32_t t_lastError = 0;

// The console the program writes to with WriteConsoleW (WriteFile to it is text as well).
class ConsoleObject : public HandleObject {
public:
    explicit ConsoleObject(Console& c) : console_(c) {}
    std::uint32_t FileType() const override { return kFileTypeChar; }
    ErrorCode Write(const void* data, std::uint32_t size, std::uint32_t* written) override {
        console_.writeCalls++;
        console_.consoleText += ToU16(std::string(static_cast<const char*>(data), size));
        *written = size;
        return 0;
    }

private:
    Console& console_;
};

// A redirected standard output: a file or a pipe, receiving raw bytes.
class RedirectObject : public HandleObject {
public:
    explicit RedirectObject(Console& c) : console_(c) {}
    std::uint32_t FileType() const override {
        return console_.stdoutKind == StdOutKind::Pipe ? kFileTypePipe : kFileTypeDisk;
    }
    ErrorCode Write(const void* data, std::uint32_t size, std::uint32_t* written) override {
        console_.writeCalls++;
        console_.redirectedBytes.append(static_cast<const char*>(data), size);
        *written = size;
        return 0;
    }
    ErrorCode Flush() override { return 0; }

private:
    Console& console_;
};

std::u16string ParentOf(std::u16string_view path) {
    auto pos = path.find_last_of(u'\\');
    if (pos == std::u16string_view::npos) return {};
    return std::u16string(path.substr(0, pos));
}

std::u16string Normalized(std::u16string_view path) {
    std::u16string p(path);
    for (auto& c : p)
        if (c == u'/') c = u'\\';
    while (p.size() > 3 && p.back() == u'\\') p.pop_back();
    return FoldCase(p);
}

std::vector<std::uint8_t> StandIn(const char* text) {
    std::string s = "MZ";
    s += text;
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace

const std::vector<std::uint8_t>& MarkerImageBytes() {
    static const auto bytes = StandIn(" simulated native image: VeltamoorMarker");
    return bytes;
}

const std::vector<std::uint8_t>& MoveLabImageBytes() {
    static const auto bytes = StandIn(" simulated native image: VeltamoorMoveLab");
    return bytes;
}

FileStore::FileStore() {
    AddDirectory(u"C:\\");
    AddDirectory(u"C:\\Windows");
    AddDirectory(u"C:\\Windows\\System32");
    AddDirectory(u"C:\\Users\\Public");
}

bool FileStore::Exists(std::u16string_view path) const { return files_.count(Normalized(path)) > 0; }

bool FileStore::DirectoryExists(std::u16string_view path) const {
    auto n = Normalized(path);
    if (n.size() == 2 && n[1] == u':') n += u'\\';
    return directories_.count(n) > 0;
}

void FileStore::AddDirectory(std::u16string_view path) {
    auto n = Normalized(path);
    while (!n.empty()) {
        directories_.insert(n.size() == 2 && n[1] == u':' ? n + u"\\" : n);
        auto parent = ParentOf(n);
        if (parent == n) break;
        n = parent;
    }
}

void FileStore::Put(std::u16string_view path, std::vector<std::uint8_t> bytes) {
    AddDirectory(ParentOf(path));
    files_[Normalized(path)] = {std::u16string(path), std::move(bytes)};
}

const std::vector<std::uint8_t>* FileStore::Get(std::u16string_view path) const {
    auto it = files_.find(Normalized(path));
    return it == files_.end() ? nullptr : &it->second.second;
}

std::vector<std::uint8_t>* FileStore::GetMutable(std::u16string_view path) {
    auto it = files_.find(Normalized(path));
    return it == files_.end() ? nullptr : &it->second.second;
}

bool FileStore::Remove(std::u16string_view path) {
    attributes_.erase(Normalized(path));
    return files_.erase(Normalized(path)) > 0;
}

std::uint32_t FileStore::Attributes(std::u16string_view path) const {
    constexpr std::uint32_t kArchive = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    auto it = attributes_.find(Normalized(path));
    return it == attributes_.end() ? kArchive : it->second;
}

void FileStore::SetAttributes(std::u16string_view path, std::uint32_t attributes) {
    attributes_[Normalized(path)] = attributes;
}

std::vector<std::u16string> FileStore::Paths() const {
    std::vector<std::u16string> out;
    for (const auto& [k, v] : files_) out.push_back(v.first);
    return out;
}

Machine::Machine() {
    consoleHandle = handles.Add(std::make_shared<ConsoleObject>(console), true);
    redirectHandle = handles.Add(std::make_shared<RedirectObject>(console), true);
    resources.items[{10, 101}] = MarkerImageBytes();
    resources.items[{10, 102}] = MoveLabImageBytes();
}

Machine::~Machine() {
    if (g_current == this) g_current = nullptr;
}

Machine& Current() {
    if (g_current == nullptr) throw std::logic_error("no simulated machine is current");
    return *g_current;
}

bool HasCurrent() { return g_current != nullptr; }

UseMachine::UseMachine(Machine& m) : previous_(g_current) { g_current = &m; }
UseMachine::~UseMachine() { g_current = previous_; }

std::uint32_t LastError() { return t_lastError; }
void SetLastError(std::uint32_t code) { t_lastError = code; }

}  // namespace sim
