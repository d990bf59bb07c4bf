#pragma once
// Command-line arguments of one subcommand: positionals and --options.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessarin::cli {

// Bad usage: the console prints it with the subcommand's usage and exits 2.
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& text) : std::runtime_error(text) {}
};

inline constexpr char kValueSeparator = '\x1f';

struct OptionSpec {
    std::string name;         // without the leading dashes
    bool takesValue = false;  // --name VALUE or --name=VALUE
    std::string help;
    int arity = 1;  // values following the option; more than one are joined with kValueSeparator
};

class Args {
public:
    // Parses argv-style tokens against the option specs; throws UsageError.
    Args(const std::vector<std::string>& tokens, const std::vector<OptionSpec>& specs);

    const std::vector<std::string>& positionals() const { return positionals_; }
    bool has(const std::string& name) const { return options_.count(name) > 0; }
    // Last value given for the option, if any.
    std::optional<std::string> value(const std::string& name) const;
    // Every value given for a repeatable option, in order.
    std::vector<std::string> values(const std::string& name) const;
    // The options and their values in command-line order.
    const std::vector<std::pair<std::string, std::string>>& ordered() const { return ordered_; }

    // Exactly n positionals, or a UsageError naming what is missing.
    void requirePositionals(std::size_t n, const char* names) const;

private:
    std::vector<std::string> positionals_;
    std::multimap<std::string, std::string> options_;
    std::vector<std::pair<std::string, std::string>> ordered_;
};

// Parses "A,B" into two integers (a position or a size); throws UsageError.
std::pair<long long, long long> parseIntPair(const std::string& text, const std::string& option);

}  // namespace tessarin::cli
