#pragma once
// The LinkBlock: a 40-byte shared block through which an open command hands
// its OpenMode to the document the framework creates next. Every running copy
// of the program for the same user shares it; the last command decides.
//
// Offset 0 holds the OpenMode as a signed 32-bit little-endian integer; the
// document reads it back as a signed 16-bit value (every OpenMode is below
// 32768). Bytes 4..39 are unused.

#include <cstdint>
#include <optional>
#include <string>

namespace tessarin {

inline constexpr std::size_t kLinkBlockBytes = 40;
inline constexpr const char* kLinkBlockName = "link_data";

// The system name of the block for this user ("/link_data.<uid>"); for the
// default name, TESSARIN_LINK_BLOCK replaces "link_data" when it is set.
std::string linkBlockSystemName(const std::string& baseName = kLinkBlockName);

class LinkBlock {
public:
    enum class Failure { None, Create, Map };

    // Creates (or attaches to) the block read-write, as the application does at
    // start-up. On failure the block is invalid and failure() says which step.
    explicit LinkBlock(const std::string& baseName = kLinkBlockName);
    ~LinkBlock();
    LinkBlock(const LinkBlock&) = delete;
    LinkBlock& operator=(const LinkBlock&) = delete;

    bool valid() const { return data_ != nullptr; }
    Failure failure() const { return failure_; }
    // The message start-up shows for a failure ("Unable to create link data file", ...).
    static const char* failureText(Failure f);

    void writeOpenMode(std::int32_t mode);
    std::int16_t readOpenMode() const;

    // Removes the system object (tests; the program leaves it for other copies).
    static void remove(const std::string& baseName = kLinkBlockName);

private:
    std::uint8_t* data_ = nullptr;
    Failure failure_ = Failure::None;
};

// Opens the existing block read-only and reads the OpenMode, as a document
// does while it is created. Empty when the block cannot be opened or mapped.
std::optional<std::int16_t> readLinkBlockOpenMode(const std::string& baseName = kLinkBlockName);

}  // namespace tessarin
