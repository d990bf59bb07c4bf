#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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
    if (mode == File::Mode::Read) {
        const int fd = tryOpenForReading(path, nullptr);
        if (fd < 0) return nullptr;
        std::FILE* fp = ::fdopen(fd, "rb");
        if (!fp) ::close(fd);
        return fp;
    }
    std::FILE* fp = std::fopen(path.c_str(), modeString(mode));
    if (!fp && mode == File::Mode::Update) fp = std::fopen(path.c_str(), "w+b");
    return fp;
}

}  // namespace

int tryOpenForReading(const std::string& path, std::string* why) {
    // Non-blocking, so that a FIFO or a device does not hold the open; what
    // is not a regular file is refused before anything reads it (a folder
    // would read as an empty file, a FIFO block for ever).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (why) *why = std::strerror(errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        if (why) *why = folder ? "it is a folder, not a file" : "it is not a regular file";
        errno = folder ? EISDIR : EINVAL;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

int openForReading(const std::string& path) {
    std::string why;
    const int fd = tryOpenForReading(path, &why);
    if (fd < 0) throw Error(format("cannot open \"%s\": %s", path.c_str(), why.c_str()));
    return fd;
}

File::File(const std::string& path, Mode mode) : path_(path) {
    if (mode == Mode::Read) {
        const int fd = openForReading(path);
        fp_ = ::fdopen(fd, "rb");
        if (!fp_) {
            ::close(fd);
            fail("cannot open");
        }
        return;
    }
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

namespace {

constexpr const char* kPartMark = ".part";

}  // namespace

std::string temporaryNameFor(const std::string& finalPath) {
    return finalPath + format("%s%ld", kPartMark, static_cast<long>(::getpid()));
}

void removeStaleTemporaries(const std::string& finalPath) {
    namespace fs = std::filesystem;
    const fs::path target(finalPath);
    const std::string prefix = target.filename().string() + kPartMark;
    std::error_code ec;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
        const long pid = std::stol(digits);
        if (pid <= 0 || pid == static_cast<long>(::getpid())) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;  // still running (or not ours to ask)
        std::error_code removeError;
        fs::remove_all(it->path(), removeError);
    }
}

File File::adopt(int fd, const std::string& path, const char* mode) {
    File f;
    f.path_ = path;
    f.fp_ = ::fdopen(fd, mode);
    if (!f.fp_) {
        ::close(fd);
        f.fail("cannot create");
    }
    return f;
}

namespace {

// A rename would put a regular file in place of a device, a FIFO or a socket
// (writing "output" to /dev/null must never replace /dev/null).
void refuseSpecialTarget(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return;  // nothing there yet
    if (S_ISDIR(st.st_mode)) throw Error(format("cannot write \"%s\": it is a folder", path.c_str()));
    if (!S_ISREG(st.st_mode)) throw Error(format("cannot write \"%s\": it is not a regular file", path.c_str()));
}

}  // namespace

AtomicFile::AtomicFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    refuseSpecialTarget(finalPath_);
    removeStaleTemporaries(finalPath_);
#ifdef O_TMPFILE
    // An unnamed file in the target's folder: a killed run leaves nothing
    // behind. It gets a name only at commit.
    const std::filesystem::path target(finalPath_);
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : std::string(".");
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        file_ = File::adopt(fd, finalPath_, "w+b");
        return;
    }
#endif
    tempPath_ = temporaryNameFor(finalPath_);
    file_ = File(tempPath_, File::Mode::Write);
}

AtomicFile::~AtomicFile() {
    if (!committed_) {
        file_ = File();
        if (!tempPath_.empty()) std::remove(tempPath_.c_str());
    }
}

void AtomicFile::commit() {
    if (tempPath_.empty()) {
        // Link the unnamed file under a temporary name, then rename that
        // over the target: linking cannot replace an existing file.
        file_.flush();
        const int fd = ::fileno(file_.handle());
        const std::string named = temporaryNameFor(finalPath_);
        std::remove(named.c_str());
        const std::string procPath = format("/proc/self/fd/%d", fd);
        if (::linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
            ::linkat(fd, "", AT_FDCWD, named.c_str(), AT_EMPTY_PATH) != 0) {  // without /proc
            const int err = errno;
            throw Error(format("cannot write \"%s\": %s", finalPath_.c_str(), std::strerror(err)));
        }
        tempPath_ = named;
    }
    file_.close();
    refuseSpecialTarget(finalPath_);
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
