#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace rekkon::cli {

// Parsed command-line options: `--name value`, `--name=value` and bare flags.
struct Options {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> values;
    std::set<std::string> flags;

    std::optional<std::string> value(const std::string& name) const;
    const std::vector<std::string>& all(const std::string& name) const;
    bool has(const std::string& flag) const { return flags.count(flag) != 0; }
};

// Parses `args` given the options that take a value and the bare flags; returns nullopt and sets
// `error` for an unknown option, a missing value, or a repeated single-value option.
std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    const std::set<std::string>& valued,
                                    const std::set<std::string>& repeatable,
                                    const std::set<std::string>& flags, std::string& error);

}  // namespace rekkon::cli
