#pragma once
// The one exception type of the core: a user-facing text. Command boundaries
// catch it and show it through Ui::message.

#include <stdexcept>
#include <string>

namespace tessarin {

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace tessarin
