#pragma once

// A file written under a unique temporary name in its target's folder and
// renamed over the target only once it is complete and on the disk. A full
// disk, a file-size limit or a failed render then leaves the target as it
// was, and the temporary name can never be a file the user already has (not
// even the input). The temporary file goes when the object does unless it
// was committed, and when the program is interrupted (Ctrl-C, SIGTERM,
// SIGHUP) while it exists.
//
// Only regular files (or names that do not exist yet) are replaced that
// way. A link is followed: the file it points to is replaced, beside that
// file, and the link stays. A device, FIFO or socket, and "-" (standard
// output), is a stream: it is written in place, once the whole file is
// made, since sound formats go back to fill in their headers.

#include <cstddef>
#include <string>

class ReplacingFile {
public:
    // Throws ToolError when the target is a folder, a stream that cannot be
    // opened, or no file can be made beside it.
    explicit ReplacingFile(const std::string& targetPath);
    ~ReplacingFile();

    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Open for writing until commit(); whoever writes through it must not close it.
    int descriptor() const { return fileDescriptor; }
    // For writers that open the file by name; it exists already.
    const std::string& temporaryPath() const { return temporary; }

    void write(const void* data, size_t size);

    // Puts the file on the disk and in the target's place (or sends it down
    // the stream). Throws ToolError; a file target is then unchanged.
    void commit();

    bool isStream() const { return stream >= 0; }

private:
    [[noreturn]] void fail(int error) const;
    void openStream();
    void sendToStream();

    std::string target, temporary;
    int fileDescriptor = -1;
    int stream = -1; // where a stream target is written; -1 for files
    int slot = -1;
    bool committed = false;
};
