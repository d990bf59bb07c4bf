#include "products/calos.h"

#include "platform/text.h"

namespace tessarin::products {

bool isFirstGenerationImageName(const std::string& path) {
    const std::string name = splitPath(path).name;
    return startsWith(name, "IMG-") && name.size() > 11 && name.compare(6, 6, "-ALPSR") == 0;
}

Alos2 readerFor(const std::string& path) { return isFirstGenerationImageName(path) ? CAlos() : Alos2(); }

}  // namespace tessarin::products
