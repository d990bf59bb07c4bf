#pragma once
// Files whose failures name the path, and writes that replace a file only
// when they are complete.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/error.h"

namespace tessarin {

// Opens a regular file for reading and returns its descriptor; anything
// else (a folder, a FIFO, a device) is refused with an Error naming the path
// as given, without blocking. Every reader opens its files through this
// (File's Read mode does).
int openForReading(const std::string& path);
// The same without throwing: -1, with the reason in *why when given.
int tryOpenForReading(const std::string& path, std::string* why);

class File {
public:
    enum class Mode { Read, Write /* create or truncate */, ReadWrite /* existing */, Update /* create, keep contents */ };

    File() = default;
    File(const std::string& path, Mode mode);  // throws Error naming the path
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens without throwing; an empty optional when the file cannot be opened.
    static std::optional<File> tryOpen(const std::string& path, Mode mode);

    bool isOpen() const { return fp_ != nullptr; }
    // The stdio stream, for positioned reads (pread on its descriptor).
    std::FILE* handle() const { return fp_; }
    const std::string& path() const { return path_; }

    std::uint64_t size() const;
    void seek(std::uint64_t offset);
    std::uint64_t tell() const;

    // Reads exactly data.size() bytes or throws.
    void readExact(std::span<std::uint8_t> data);
    // Reads what is there, up to data.size() bytes; returns the count read
    // (short only at the end of the file: a failed read throws).
    std::size_t readSome(std::span<std::uint8_t> data);
    void readAt(std::uint64_t offset, std::span<std::uint8_t> data) { seek(offset); readExact(data); }
    void write(std::span<const std::uint8_t> data);
    void write(const std::string& text);
    void flush();
    void close();  // throws when buffered data cannot be written

    // Takes over an open descriptor (closed on failure); path names it in errors.
    static File adopt(int fd, const std::string& path, const char* mode);

private:
    [[noreturn]] void fail(const char* action) const;
    std::FILE* fp_ = nullptr;
    std::string path_;
};

// Reads a whole file, refusing one larger than maxBytes.
std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes = (1ull << 31));
void writeWholeFile(const std::string& path, std::span<const std::uint8_t> data);  // atomically

// Writes to an unnamed file in the target's folder (or, where the file
// system has none, to a temporary name beside the target); commit() puts it
// into place. Destroyed uncommitted, it removes the temporary file, so an
// interrupted write never leaves a half file under the final name, and a
// killed run leaves nothing (temporaries of runs no longer running are
// removed by the next write of the same target).
class AtomicFile {
public:
    explicit AtomicFile(std::string finalPath);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    File& file() { return file_; }
    // The temporary name; empty while the file is unnamed.
    const std::string& tempPath() const { return tempPath_; }
    const std::string& finalPath() const { return finalPath_; }
    void commit();

private:
    std::string finalPath_;
    std::string tempPath_;
    File file_;
    bool committed_ = false;
};

// The temporary name of this process for a target: "TARGET.partPID".
std::string temporaryNameFor(const std::string& finalPath);
// Removes the temporaries (files or folders "TARGET.partPID") that runs
// killed before they could finish left beside the target: those whose
// process no longer runs.
void removeStaleTemporaries(const std::string& finalPath);

// Renames a file into place, replacing the target; throws naming both paths.
void replaceFile(const std::string& from, const std::string& to);
bool fileExists(const std::string& path);
// Removes a file when it exists; returns whether something was removed.
bool removeFile(const std::string& path);

}  // namespace tessarin
