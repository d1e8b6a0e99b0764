#include "recovery/FirstChar.h"

#include "volume/TextEncoding.h"

namespace rekkon {

std::optional<std::string> legalFirstChar(const std::string& typed) {
    const std::u32string chars = utf8ToCodePoints(typed);
    if (chars.empty()) return std::nullopt;
    const char32_t c = chars.front();
    if (c <= 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == '?' || c == '/' || c == 0xFFFD)
        return std::nullopt;
    std::string out;
    appendUtf8(out, c);
    return out;
}

std::optional<std::string> FirstCharRule::resolve(const std::string& name,
                                                  const std::optional<std::string>& known) {
    if (name.empty() || name.front() != '?') return name;
    const std::optional<std::string> proven = known ? legalFirstChar(*known) : std::nullopt;
    if (proven && !asker_.answersProvenNames()) return *proven + name.substr(1);
    if (useForAll_) {
        std::string restored = name;
        restored.replace(0, 1, rememberedChar_);
        return restored;
    }
    auto answer = asker_.ask(name, proven);
    std::optional<std::string> character;
    if (answer) character = legalFirstChar(answer->character);
    if (!character) {
        useForAll_ = false;
        rememberedChar_ = "?";
        return std::nullopt;
    }
    useForAll_ = answer->useForAll;
    rememberedChar_ = *character;
    std::string restored = name;
    restored.replace(0, 1, rememberedChar_);
    return restored;
}

}  // namespace rekkon
