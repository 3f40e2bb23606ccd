// Running the partition tools of the host on image files, for tests.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace velta::testing {

struct CommandResult {
    int status = -1;
    std::string output;
};

inline CommandResult RunCommand(const std::string& command) {
    CommandResult r;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (p == nullptr) return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
    r.status = ::pclose(p);
    return r;
}

// A fresh path in the test's temporary directory, removed when the object goes.
class TempImage {
public:
    explicit TempImage(const std::string& name)
        : path_(::testing::TempDir() + "velta_" + std::to_string(::getpid()) + "_" + name) {
        std::remove(path_.c_str());
    }
    ~TempImage() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace velta::testing
