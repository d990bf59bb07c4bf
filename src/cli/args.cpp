#include "args.h"

#include "platform/text.h"

namespace tessarin::cli {

Args::Args(const std::vector<std::string>& tokens, const std::vector<OptionSpec>& options) {
    bool onlyPositionals = false;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string& t = tokens[i];
        if (onlyPositionals || t.size() < 3 || t.compare(0, 2, "--") != 0) {
            if (t == "--") { onlyPositionals = true; continue; }
            positionals_.push_back(t);
            continue;
        }
        std::string name = t.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        const OptionSpec* option = nullptr;
        for (const auto& s : options)
            if (s.name == name) option = &s;
        if (!option) throw UsageError("unknown option --" + name);
        std::string value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else {
                for (int k = 0; k < option->arity; ++k) {
                    if (i + 1 >= tokens.size())
                        throw UsageError("option --" + name + (option->arity > 1 ? " needs " + std::to_string(option->arity) + " values" : " needs a value"));
                    if (k > 0) value += kValueSeparator;
                    value += tokens[++i];
                }
            }
        } else if (inlineValue) {
            throw UsageError("option --" + name + " takes no value");
        }
        options_.emplace(name, value);
        ordered_.emplace_back(name, value);
    }
}

std::optional<std::string> Args::value(const std::string& name) const {
    std::optional<std::string> last;
    for (const auto& [n, v] : ordered_)
        if (n == name) last = v;
    return last;
}

std::vector<std::string> Args::values(const std::string& name) const {
    std::vector<std::string> out;
    for (const auto& [n, v] : ordered_)
        if (n == name) out.push_back(v);
    return out;
}

void Args::requirePositionals(std::size_t n, const char* names) const {
    if (positionals_.size() < n) throw UsageError(std::string("missing ") + names);
    if (positionals_.size() > n) throw UsageError("unexpected argument \"" + positionals_[n] + "\"");
}

std::pair<long long, long long> parseIntPair(const std::string& text, const std::string& option) {
    const auto parts = splitString(text, ',');
    if (parts.size() == 2) {
        const auto a = parseInteger(trim(parts[0]));
        const auto b = parseInteger(trim(parts[1]));
        if (a && b) return {*a, *b};
    }
    throw UsageError("option --" + option + " expects two integers as A,B, not \"" + text + "\"");
}

}  // namespace tessarin::cli
