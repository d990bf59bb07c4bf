#include "platform/bytes.h"

#include "platform/format.h"

namespace tessarin::detail {

void throwOutOfBounds(std::string_view what, std::size_t offset, std::size_t wanted, std::size_t size) {
    throw Error(format("%.*s: %zu byte(s) wanted at offset %zu, but it holds only %zu bytes",
                       static_cast<int>(what.size()), what.data(), wanted, offset, size));
}

}  // namespace tessarin::detail
