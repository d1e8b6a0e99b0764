#include "cli/Options.h"

namespace rekkon::cli {

std::optional<std::string> Options::value(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

const std::vector<std::string>& Options::all(const std::string& name) const {
    static const std::vector<std::string> kNone;
    auto it = values.find(name);
    return it == values.end() ? kNone : it->second;
}

std::optional<Options> parseOptions(const std::vector<std::string>& args,
                                    const std::set<std::string>& valued,
                                    const std::set<std::string>& repeatable,
                                    const std::set<std::string>& flags, std::string& error) {
    Options out;
    bool onlyPositional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg.rfind("--", 0) != 0) {
            out.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        std::string name = arg.substr(2);
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.erase(eq);
        }
        if (flags.count(name)) {
            if (inlineValue) {
                error = "option --" + name + " takes no value";
                return std::nullopt;
            }
            out.flags.insert(name);
            continue;
        }
        if (!valued.count(name) && !repeatable.count(name)) {
            error = "unknown option --" + name;
            return std::nullopt;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = "option --" + name + " needs a value";
                return std::nullopt;
            }
            inlineValue = args[++i];
        }
        auto& list = out.values[name];
        if (!list.empty() && !repeatable.count(name)) {
            error = "option --" + name + " given twice";
            return std::nullopt;
        }
        list.push_back(*inlineValue);
    }
    return out;
}

}  // namespace rekkon::cli
