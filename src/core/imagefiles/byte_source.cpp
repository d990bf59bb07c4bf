#include "imagefiles/byte_source.h"

#include <algorithm>

#include "platform/error.h"
#include "platform/format.h"

namespace tessarin {

void ByteSource::throwBeyondEnd(std::uint64_t offset, std::uint64_t count, const char* what) const {
    throw Error(format("\"%s\": %s needs %llu bytes at offset %llu, but the file has %llu bytes", name().c_str(), what,
                       static_cast<unsigned long long>(count), static_cast<unsigned long long>(offset),
                       static_cast<unsigned long long>(size())));
}

FileSource::FileSource(File& file) : file_(file), size_(file.size()) {}

void FileSource::readAt(std::uint64_t offset, std::span<std::uint8_t> data, const char* what) {
    if (!fits(offset, data.size())) throwBeyondEnd(offset, data.size(), what);
    file_.readAt(offset, data);
}

void MemorySource::readAt(std::uint64_t offset, std::span<std::uint8_t> data, const char* what) {
    if (!fits(offset, data.size())) throwBeyondEnd(offset, data.size(), what);
    std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(offset), data.size(), data.begin());
}

}  // namespace tessarin
