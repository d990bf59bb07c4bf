#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

namespace {

const char* modeString(File::Mode mode) {
    switch (mode) {
        case File::Mode::Read: return "rb";
        case File::Mode::Write: return "wb";
        case File::Mode::ReadWrite: return "r+b";
        case File::Mode::Update: return "r+b";
    }
    return "rb";
}

std::FILE* openFile(const std::string& path, File::Mode mode) {
    std::FILE* fp = std::fopen(path.c_str(), modeString(mode));
    if (!fp && mode == File::Mode::Update) fp = std::fopen(path.c_str(), "w+b");
    return fp;
}

}  // namespace

File::File(const std::string& path, Mode mode) : path_(path) {
    fp_ = openFile(path, mode);
    if (!fp_) fail(mode == Mode::Read ? "cannot open" : "cannot create");
}

File::~File() {
    if (fp_) std::fclose(fp_);
}

File::File(File&& other) noexcept : fp_(other.fp_), path_(std::move(other.path_)) { other.fp_ = nullptr; }

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        if (fp_) std::fclose(fp_);
        fp_ = other.fp_;
        path_ = std::move(other.path_);
        other.fp_ = nullptr;
    }
    return *this;
}

std::optional<File> File::tryOpen(const std::string& path, Mode mode) {
    File f;
    f.path_ = path;
    f.fp_ = openFile(path, mode);
    if (!f.fp_) return std::nullopt;
    return f;
}

void File::fail(const char* action) const {
    const int err = errno;
    throw Error(format("%s \"%s\": %s", action, path_.c_str(), err ? std::strerror(err) : "unexpected end of file"));
}

std::uint64_t File::size() const {
    const long here = std::ftell(fp_);
    if (std::fseek(fp_, 0, SEEK_END) != 0) fail("cannot seek in");
    const long end = std::ftell(fp_);
    std::fseek(fp_, here, SEEK_SET);
    if (end < 0) fail("cannot size");
    return static_cast<std::uint64_t>(end);
}

void File::seek(std::uint64_t offset) {
    if (std::fseek(fp_, static_cast<long>(offset), SEEK_SET) != 0) fail("cannot seek in");
}

std::uint64_t File::tell() const { return static_cast<std::uint64_t>(std::ftell(fp_)); }

void File::readExact(std::span<std::uint8_t> data) {
    errno = 0;
    if (std::fread(data.data(), 1, data.size(), fp_) != data.size()) fail("cannot read");
}

std::size_t File::readSome(std::span<std::uint8_t> data) {
    errno = 0;
    const std::size_t got = std::fread(data.data(), 1, data.size(), fp_);
    // Short at the end of the file is what the callers ask for; short
    // because the read failed is not.
    if (got < data.size() && std::ferror(fp_)) fail("cannot read");
    return got;
}

void File::write(std::span<const std::uint8_t> data) {
    errno = 0;
    if (std::fwrite(data.data(), 1, data.size(), fp_) != data.size()) fail("cannot write");
}

void File::write(const std::string& text) {
    write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void File::flush() {
    if (std::fflush(fp_) != 0) fail("cannot write");
}

void File::close() {
    if (!fp_) return;
    std::FILE* fp = fp_;
    fp_ = nullptr;
    if (std::fclose(fp) != 0) fail("cannot write");
}

std::vector<std::uint8_t> readWholeFile(const std::string& path, std::uint64_t maxBytes) {
    File f(path, File::Mode::Read);
    const std::uint64_t n = f.size();
    if (n > maxBytes) throw Error(format("\"%s\" is too large (%llu bytes)", path.c_str(), static_cast<unsigned long long>(n)));
    std::vector<std::uint8_t> data(static_cast<std::size_t>(n));
    f.readExact(data);
    return data;
}

void writeWholeFile(const std::string& path, std::span<const std::uint8_t> data) {
    AtomicFile out(path);
    out.file().write(data);
    out.commit();
}

AtomicFile::AtomicFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    tempPath_ = finalPath_ + format(".part%ld", static_cast<long>(::getpid()));
    file_ = File(tempPath_, File::Mode::Write);
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        file_ = File();
        std::remove(tempPath_.c_str());
    }
}

void AtomicFile::commit() {
    file_.close();
    replaceFile(tempPath_, finalPath_);
    committed_ = true;
}

void replaceFile(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        throw Error(format("cannot move \"%s\" to \"%s\": %s", from.c_str(), to.c_str(), std::strerror(err)));
    }
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::remove(path, ec);
}

}  // namespace tessarin
