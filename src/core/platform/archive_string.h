#pragma once
// Strings as stored in set and project files (".prj", ".mlt", ".cmt",
// ".INF", "PINF.prj"): a length prefix in the archive's variable encoding,
// then the characters without a terminator.
//
// Written form (UTF-16): byte 0xFF, 16-bit marker 0xFFFE, then the length in
// characters as one byte when below 255; otherwise 0xFF and a 16-bit length
// when below 0xFFFE; otherwise 0xFF, 0xFFFF and a 32-bit length. Characters
// follow as UTF-16LE. Readers also accept the one-byte-character form (the
// same length rule without the marker), taken as Latin-1.
//
// In memory strings are UTF-8.

#include <string>

#include "platform/bytes.h"

namespace tessarin {

// Appends the UTF-16 archive form of a UTF-8 string.
void writeArchiveString(ByteWriter& out, const std::string& utf8);

// Reads one archive string at the reader's position. A length that runs past
// the end of the data is refused with an Error before anything is allocated.
std::string readArchiveString(ByteReader& in);

// UTF-8 <-> UTF-16 conversions used by the archive form; invalid sequences
// become U+FFFD.
std::u16string utf8ToUtf16(const std::string& utf8);
std::string utf16ToUtf8(const std::u16string& utf16);

}  // namespace tessarin
