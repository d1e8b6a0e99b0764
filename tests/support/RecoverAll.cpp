#include "support/RecoverAll.h"

namespace rekkon::test {

namespace {

// Asked for every '?' name (no "use for all"), so a proven first character does not replace it.
class FixedAnswer final : public FirstCharAsker {
  public:
    explicit FixedAnswer(std::string c) : c_(std::move(c)) {}
    std::optional<FirstCharAnswer> ask(const std::string&,
                                       const std::optional<std::string>&) override {
        return FirstCharAnswer{c_, false};
    }

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
