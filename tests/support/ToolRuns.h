#pragma once
// What the suites that run built programs share: a scratch folder removed
// with everything in it, a command's exit status and output, a file's bytes.

#include "TemporaryFolder.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScratchFolder {
public:
    // Under /tmp, named gravel-<kind>-XXXXXX; empty if it could not be made.
    explicit ScratchFolder(const std::string& kind)
    {
        std::string pattern = temporaryPattern("gravel-" + kind);
        if (mkdtemp(pattern.data()))
            folder = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const std::string& name) const { return folder + "/" + name; }

    std::string folder;
};

struct CommandOutput {
    int status = -1;  // the exit status, or -1 when it did not exit
    std::string text; // standard output and error together
};

inline CommandOutput runCommand(const std::string& command)
{
    CommandOutput output;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.text.append(buffer, n);
    const int status = pclose(pipe);
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
