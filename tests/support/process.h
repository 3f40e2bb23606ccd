// Runs a child process with a chosen environment and collects its output and exit code.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace velta::testing {

struct ProcessResult {
    int exitCode = -1;  // -1 when the process could not be started or was killed
    std::string out;
    std::string err;
};

// `env` entries are added to (or replace those of) the current environment; a value of
// "\x01unset" removes the variable. Standard input is /dev/null.
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& workingDirectory = {});

}  // namespace velta::testing
