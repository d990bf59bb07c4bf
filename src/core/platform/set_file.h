#pragma once
// Set and project files (".prj", ".INF", "PINF.prj", ".mlt", ".cmt"): a few
// 32-bit numbers and archive strings naming the member files. Read whole,
// with a bound, into values the caller commits only when everything parsed;
// written whole through a temporary name, so a failed write never leaves a
// half file, nor lets an older file of the same name be opened instead.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"

namespace tessarin {

inline constexpr std::uint64_t kMaxSetFileBytes = 64 * 1024;
inline constexpr std::size_t kMaxSetFileStringUnits = 32767;

class SetFileReader {
public:
    // Reads the whole file; a missing file, or one larger than
    // kMaxSetFileBytes, throws Error naming it.
    explicit SetFileReader(std::string path);
    // The bytes of a set file already in memory; path names it in messages.
    SetFileReader(std::string path, std::vector<std::uint8_t> data);

    const std::string& path() const { return path_; }
    std::size_t size() const { return data_.size(); }
    std::size_t offset() const { return reader_.offset(); }
    // The byte at an offset, or -1 past the end (to tell layouts apart).
    int byteAt(std::size_t offset) const;

    std::int32_t readInt32(const char* what);
    // A string; empty only when optional. A string holding U+0000 or longer
    // than kMaxSetFileStringUnits is refused naming the file.
    std::string readString(const char* what, bool optional = false);
    // A member path: a string as above, resolved by resolveMemberPath.
    std::string readPath(const char* what, bool optional = false);

private:
    std::string path_;
    std::vector<std::uint8_t> data_;
    ByteReader reader_;
};

// A member path as stored (perhaps with Windows separators): as it stands
// when that file exists; otherwise its file name (after the last '\' or '/')
// in the set file's own folder when that exists there; otherwise unchanged.
std::string resolveMemberPath(const std::string& stored, const std::string& setFilePath);

class SetFileWriter {
public:
    void writeInt32(std::int32_t value) { out_.le<std::int32_t>(value); }
    void writeString(const std::string& utf8);
    const std::vector<std::uint8_t>& bytes() const { return out_.buffer(); }
    // Replaces the file whole (temporary name, then rename); throws Error
    // naming the file when it cannot be written.
    void save(const std::string& path) const;

private:
    ByteWriter out_;
};

}  // namespace tessarin
