#pragma once
// CAlos: the reader of first-generation ALOS PALSAR products (levels 1.1 and
// 1.5). It is the ALOS-2 reader with the first-generation leader layout: the
// record map with its 8192-byte attitude record and shifted positions, one
// long facility record and the conversion polynomials after it, the sensor
// clock angle for the look direction, the pixels of a line from the
// descriptor's own count, and refusals of level 1.0, ERSDAC-processed and
// ALOS-2 leaders. Everything else (fields, record walking, orbit and mapping
// polynomials, line reading) is shared.

#include "products/alos2.h"

namespace tessarin::products {

class CAlos : public Alos2 {
public:
    CAlos() : Alos2(ceos::kPalsar1Layout) {}
};

// The image file names of first-generation products start "IMG-xx-ALPSR".
bool isFirstGenerationImageName(const std::string& path);
// The reader for an image, tile or header path by its name: CAlos for
// first-generation names, else Alos2.
Alos2 readerFor(const std::string& path);

}  // namespace tessarin::products
