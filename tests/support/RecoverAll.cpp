#include "support/RecoverAll.h"

namespace rekkon::test {

namespace {

// Answers for every '?' name, a proven one too: one character for all, as --first-char C.
class FixedAnswer final : public FirstCharAsker {
  public:
    explicit FixedAnswer(std::string c) : c_(std::move(c)) {}
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        return FirstCharAnswer{c_, false};
    }
    bool answersProvenNames() const override { return true; }

  private:
    std::string c_;
};

}  // namespace

std::vector<RecoveryOutcome> recoverAllFound(ScanContext& context, const std::string& folder,
                                             const std::string& firstChar, std::size_t chunkBytes) {
    std::vector<const DeletedFileEntry*> all;
    for (const auto& e : context.foundList)
        all.push_back(&e);
    FixedAnswer asker(firstChar);
    RecoveryOptions options;
    options.destination = folder;
    options.chunkBytes = chunkBytes;
    return recoverEntries(context, all, options, asker);
}

}  // namespace rekkon::test
