#pragma once

#include <optional>
#include <string>

namespace rekkon {

// A deleted 8.3 name has lost its first character and is listed with '?' in its place. Before
// such a file is written out, the user supplies the character: once per file, or once for all
// remaining files of one recovery command.

struct FirstCharAnswer {
    std::string character;  // one character, UTF-8
    bool useForAll = false;
};

// Asks for the first character of `name` (which begins with '?'); nullopt when cancelled.
// Names whose character the volume proves (the long-name checksum) are not asked about, unless
// the asker answers for every name (`answersProvenNames`); `suggestion` is then the proven one.
class FirstCharAsker {
  public:
    virtual ~FirstCharAsker() = default;
    virtual std::optional<FirstCharAnswer> ask(const std::string& name,
                                               const std::optional<std::string>& suggestion) = 0;
    // True for an asker whose answer replaces even a proven character (one character given
    // for every name beforehand).
    virtual bool answersProvenNames() const { return false; }
};

// Whether `typed` may stand as a first character. Only its first character counts; it must not
// be blank, a control character, '?', '/' (the path separator) or missing. Characters beyond
// ASCII are accepted, since names are UTF-8 here. Returns that first character, or nullopt.
std::optional<std::string> legalFirstChar(const std::string& typed);

// The first-character rule of one recovery command.
class FirstCharRule {
  public:
    explicit FirstCharRule(FirstCharAsker& asker) : asker_(asker) {}
    // The name to write `name` under: unchanged when it does not begin with '?', else with a
    // character in place of the '?'; nullopt when the user cancelled (the file is then skipped,
    // and the next '?' name asks again). `known` is the entry's proven first character, when
    // there is one: a usable one is taken without a question (it belongs to its own file only).
    // The asker is asked for the other names; an answer used for all files serves the other
    // names that follow, never a name with a character of its own.
    std::optional<std::string> resolve(const std::string& name,
                                       const std::optional<std::string>& known);

  private:
    FirstCharAsker& asker_;
    bool useForAll_ = false;
    std::string rememberedChar_;
};

}  // namespace rekkon
