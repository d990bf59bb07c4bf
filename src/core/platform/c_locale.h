#pragma once
// The "C" locale for numbers in files and texts: the desktop sets the
// process locale from the environment, under which printf and strtod would
// write and read "35,90".

#include <locale.h>

namespace tessarin {

// The "C" locale object, created once; null only if the C library cannot
// make even that.
locale_t cLocale();

// Switches the calling thread to the "C" locale for the scope's lifetime and
// back to what it had before; other threads are unaffected.
class CLocaleScope {
public:
    CLocaleScope() : previous_(cLocale() ? ::uselocale(cLocale()) : static_cast<locale_t>(nullptr)) {}
    ~CLocaleScope() {
        if (previous_) ::uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

}  // namespace tessarin
