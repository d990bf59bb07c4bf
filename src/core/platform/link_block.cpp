#include "platform/link_block.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <span>

#include "platform/bytes.h"
#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

std::string linkBlockSystemName(const std::string& baseName) {
    // TESSARIN_LINK_BLOCK gives a group of copies a block of their own in place
    // of the user's shared one (parallel test runs, two independent batches).
    // A name with a '/' is not a shared-memory name and is ignored.
    std::string base = baseName;
    if (baseName == kLinkBlockName) {
        const char* own = std::getenv("TESSARIN_LINK_BLOCK");
        if (own != nullptr && *own != '\0' && std::string(own).find('/') == std::string::npos &&
            std::strlen(own) < 200)
            base = own;
    }
    return format("/%s.%u", base.c_str(), static_cast<unsigned>(::getuid()));
}

LinkBlock::LinkBlock(const std::string& baseName) {
    const std::string name = linkBlockSystemName(baseName);
    const int fd = ::shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
    if (fd < 0) {
        failure_ = Failure::Create;
        return;
    }
    struct stat st {};
    bool sized = ::fstat(fd, &st) == 0 && st.st_size >= static_cast<off_t>(kLinkBlockBytes);
    if (!sized) sized = ::ftruncate(fd, static_cast<off_t>(kLinkBlockBytes)) == 0;
    if (!sized) {
        ::close(fd);
        failure_ = Failure::Create;
        return;
    }
    void* p = ::mmap(nullptr, kLinkBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) {
        failure_ = Failure::Map;
        return;
    }
    data_ = static_cast<std::uint8_t*>(p);
}

LinkBlock::~LinkBlock() {
    if (data_) ::munmap(data_, kLinkBlockBytes);
}

const char* LinkBlock::failureText(Failure f) {
    switch (f) {
        case Failure::Create: return "Unable to create link data file";
        case Failure::Map: return "Unable to map link data file";
        case Failure::None: return "";
    }
    return "";
}

void LinkBlock::writeOpenMode(std::int32_t mode) {
    if (!data_) throw Error("Unable to map link data file");
    store<std::int32_t>(std::span<std::uint8_t>(data_, kLinkBlockBytes), 0, mode, ByteOrder::Little, "link data");
}

std::int16_t LinkBlock::readOpenMode() const {
    if (!data_) throw Error("Unable to map link data file");
    return load<std::int16_t>(std::span<const std::uint8_t>(data_, kLinkBlockBytes), 0, ByteOrder::Little, "link data");
}

void LinkBlock::remove(const std::string& baseName) { ::shm_unlink(linkBlockSystemName(baseName).c_str()); }

std::optional<std::int16_t> readLinkBlockOpenMode(const std::string& baseName) {
    const std::string name = linkBlockSystemName(baseName);
    const int fd = ::shm_open(name.c_str(), O_RDONLY, 0);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < static_cast<off_t>(kLinkBlockBytes)) {
        ::close(fd);
        return std::nullopt;
    }
    void* p = ::mmap(nullptr, kLinkBlockBytes, PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED) return std::nullopt;
    const auto mode = load<std::int16_t>(std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(p), kLinkBlockBytes), 0,
                                         ByteOrder::Little, "link data");
    ::munmap(p, kLinkBlockBytes);
    return mode;
}

}  // namespace tessarin
