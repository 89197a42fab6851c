#pragma once

// A file written under a unique temporary name in its target's folder and
// renamed over the target only once it is complete and on the disk. A full
// disk, a file-size limit or a failed render then leaves the target as it
// was, and the temporary name can never be a file the user already has (not
// even the input). The temporary file goes when the object does unless it
// was committed, and when the program is interrupted (Ctrl-C, SIGTERM,
// SIGHUP) while it exists.

#include <cstddef>
#include <string>

class ReplacingFile {
public:
    // Throws ToolError when the target is a folder or no file can be made beside it.
    explicit ReplacingFile(const std::string& targetPath);
    ~ReplacingFile();

    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Open for writing until commit(); whoever writes through it must not close it.
    int descriptor() const { return fileDescriptor; }
    // For writers that open the file by name; it exists already.
    const std::string& temporaryPath() const { return temporary; }

    void write(const void* data, size_t size);

    // Puts the file on the disk and in the target's place. Throws ToolError;
    // the target is then unchanged.
    void commit();

private:
    [[noreturn]] void fail(int error) const;

    std::string target, temporary;
    int fileDescriptor = -1;
    int slot = -1;
    bool committed = false;
};
