#pragma once
// Random access to the bytes of an image file, from disk or from memory, so
// that the same header readers serve files, tests and fuzzers. Every read is
// checked against the size first.

#include <cstdint>
#include <span>
#include <string>

#include "platform/file.h"

namespace tessarin {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly data.size() bytes at offset; throws Error naming the
    // source, the offset and what was asked for when they are not there.
    virtual void readAt(std::uint64_t offset, std::span<std::uint8_t> data, const char* what) = 0;
    virtual const std::string& name() const = 0;

    bool fits(std::uint64_t offset, std::uint64_t count) const { return offset <= size() && count <= size() - offset; }

protected:
    [[noreturn]] void throwBeyondEnd(std::uint64_t offset, std::uint64_t count, const char* what) const;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(File& file);
    std::uint64_t size() const override { return size_; }
    void readAt(std::uint64_t offset, std::span<std::uint8_t> data, const char* what) override;
    const std::string& name() const override { return file_.path(); }

private:
    File& file_;
    std::uint64_t size_;
};

class MemorySource : public ByteSource {
public:
    MemorySource(std::span<const std::uint8_t> data, std::string name) : data_(data), name_(std::move(name)) {}
    std::uint64_t size() const override { return data_.size(); }
    void readAt(std::uint64_t offset, std::span<std::uint8_t> data, const char* what) override;
    const std::string& name() const override { return name_; }

private:
    std::span<const std::uint8_t> data_;
    std::string name_;
};

}  // namespace tessarin
