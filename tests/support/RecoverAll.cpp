#include "support/RecoverAll.h"

#include <deque>

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
    // The outcomes point at the entries: copies of them that live as long as the test.
    static std::deque<std::vector<DeletedFileEntry>> kept;
    const auto& found = kept.emplace_back(context.foundList.begin(), context.foundList.end());
    std::vector<const DeletedFileEntry*> all;
    for (const auto& e : found)
        all.push_back(&e);
    FixedAnswer asker(firstChar);
    RecoveryOptions options;
    options.destination = folder;
    options.chunkBytes = chunkBytes;
    return recoverEntries(context, all, options, asker);
}

}  // namespace rekkon::test
