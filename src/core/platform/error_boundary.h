#pragma once
// The one place where failures become a message: the command boundary, the
// document open and the desktop's start-up open all go through it, so
// nothing escapes to the window framework and every failure reads alike.

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace tessarin {

class Ui;

// The text shown for a failure caught while doing what: a tessarin::Error
// as it stands; running out of memory as "not enough memory for WHAT";
// another standard exception with WHAT before its own text; anything else
// as an unexpected failure of WHAT.
std::string failureText(std::exception_ptr failure, std::string_view what);

// Runs work; a failure of any kind is shown through ui.message and false
// returned.
bool runGuarded(Ui& ui, std::string_view what, const std::function<void()>& work);

}  // namespace tessarin
