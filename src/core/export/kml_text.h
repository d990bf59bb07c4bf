#pragma once
// Text that goes into a KML document: valid UTF-8 with the five XML
// specials escaped, whatever bytes a file or product name holds.

#include <string>
#include <string_view>

namespace tessarin::geoexport {

// The bytes as UTF-8: well-formed UTF-8 sequences are kept, every other byte
// is read as ISO 8859-1 and converted; characters XML 1.0 does not allow
// (controls other than tab, line feed and carriage return) become U+FFFD.
std::string toUtf8(std::string_view bytes);

// toUtf8, then & < > ' " written as entities: safe inside an element and
// inside either kind of quoted attribute.
std::string kmlText(std::string_view bytes);

}  // namespace tessarin::geoexport
