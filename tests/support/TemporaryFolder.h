#pragma once

// Scratch names under the system's temporary folder ($TMPDIR, else /tmp).

#include <cstdlib>
#include <filesystem>
#include <string>

// A mkstemp/mkdtemp pattern: "<temporary folder>/<prefix>-XXXXXX".
inline std::string temporaryPattern(const std::string& prefix)
{
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error)
        folder = "/tmp";
    return (folder / (prefix + "-XXXXXX")).string();
}
