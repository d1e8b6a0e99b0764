#include "carve/PdfFormat.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "carve/PdfText.h"

namespace rekkon {

namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr std::size_t kOverlap = 16;
constexpr std::uint64_t kNearLimit = 1u << 20;  // a file this near the limit runs into it
constexpr std::size_t kMaxSubsections = 100000;
constexpr std::size_t kMaxKnownSections = 4096;
constexpr std::size_t kMaxSubsectionsRead = 1u << 18;  // over every table of a document

bool blank(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == '\0';
}
bool digit(char c) {
    return c >= '0' && c <= '9';
}

// An unsigned decimal number at `at` (advanced past it); nullopt when there is none.
std::optional<std::uint64_t> number(std::string_view t, std::size_t& at) {
    if (at >= t.size() || !digit(t[at])) return std::nullopt;
    std::uint64_t v = 0;
    for (int n = 0; at < t.size() && digit(t[at]); ++at, ++n) {
        if (n >= 15) return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(t[at] - '0');
    }
    return v;
}

void skipBlanks(std::string_view t, std::size_t& at) {
    while (at < t.size() && blank(t[at]))
        ++at;
}

// Whether `t` begins "<number> <number> obj" (after blanks), the first number `object` when
// given.
bool objectHeader(std::string_view t, std::optional<std::uint64_t> object = std::nullopt) {
    std::size_t at = 0;
    skipBlanks(t, at);
    const auto n = number(t, at);
    if (!n || (object && *n != *object) || at >= t.size() || !blank(t[at])) return false;
    skipBlanks(t, at);
    if (!number(t, at)) return false;
    skipBlanks(t, at);
    return t.substr(at, 3) == "obj";
}

struct Subsection {
    std::uint64_t first, count, entries;  // entries: where its 20-byte entries start
};

class PdfWalk {
  public:
    explicit PdfWalk(CarveInput& input) : input_(input) {}
    CarveResult run();

  private:
    std::string text(std::uint64_t at, std::size_t n) {
        std::string s(n, '\0');
        s.resize(input_.read(at, std::span(reinterpret_cast<std::uint8_t*>(s.data()), n)));
        return s;
    }
    bool supported(std::uint64_t eof);
    bool xrefAt(std::uint64_t at, std::uint64_t before);
    bool tableAt(std::uint64_t at, std::uint64_t before);
    void trailer(std::string_view t);
    void readInfo(CarveResult& r);

    CarveInput& input_;
    std::vector<Subsection> sections_;
    std::uint64_t infoObject_ = 0;
    std::map<std::uint64_t, bool> checked_;  // cross-reference sections already followed
    std::size_t subsectionsRead_ = 0;
};

// Whether the "%%EOF" at `eof` follows a "startxref" that points at a cross-reference section.
bool PdfWalk::supported(std::uint64_t eof) {
    const std::uint64_t from = eof > 1024 ? eof - 1024 : 0;
    const std::string t = text(from, static_cast<std::size_t>(eof - from));
    const std::size_t s = t.rfind("startxref");
    if (s == std::string::npos) return false;
    std::size_t at = s + 9;
    skipBlanks(t, at);
    const auto offset = number(t, at);
    skipBlanks(t, at);
    return offset && at == t.size() && *offset < from + s && xrefAt(*offset, from + s);
}

bool PdfWalk::xrefAt(std::uint64_t at, std::uint64_t before) {
    if (const auto known = checked_.find(at); known != checked_.end()) return known->second;
    if (checked_.size() >= kMaxKnownSections) return false;
    const std::string t = text(at, 2048);
    if (t.substr(0, 4) == "xref") return checked_[at] = tableAt(at, before);
    // A cross-reference stream: an object whose dictionary has /Type /XRef.
    bool stream = false;
    if (objectHeader(t)) {
        if (const std::size_t type = t.find("/Type"); type != std::string::npos) {
            std::size_t p = type + 5;
            skipBlanks(t, p);
            stream = t.substr(p, 5) == "/XRef";
        }
    }
    if (stream) trailer(t);
    return checked_[at] = stream;
}

bool PdfWalk::tableAt(std::uint64_t at, std::uint64_t before) {
    std::uint64_t pos = at + 4;
    for (std::size_t n = 0; n < kMaxSubsections && pos < before; ++n) {
        if (++subsectionsRead_ > kMaxSubsectionsRead) return false;
        const std::string t = text(pos, 512);
        std::size_t p = 0;
        skipBlanks(t, p);
        if (t.substr(p, 7) == "trailer") {
            trailer(std::string_view(t).substr(p));
            return true;
        }
        const auto first = number(t, p);
        if (!first || p >= t.size() || t[p] != ' ') return false;
        ++p;
        const auto count = number(t, p);
        if (!count || *count > (before - pos) / 20) return false;
        while (p < t.size() && (t[p] == ' ' || t[p] == '\t'))
            ++p;
        if (p < t.size() && t[p] == '\r') ++p;
        if (p < t.size() && t[p] == '\n') ++p;
        const std::uint64_t entries = pos + p;
        // The first entries: "oooooooooo ggggg n" and two end-of-line bytes; objects in use
        // start with their header.
        const std::string e =
            text(entries, static_cast<std::size_t>(std::min<std::uint64_t>(*count, 4) * 20));
        for (std::size_t i = 0; i * 20 < e.size(); ++i) {
            const std::string_view row = std::string_view(e).substr(i * 20, 20);
            if (row.size() < 20 || row[10] != ' ' || row[16] != ' ' ||
                (row[17] != 'n' && row[17] != 'f') || !blank(row[18]) || !blank(row[19]))
                return false;
            std::size_t q = 0;
            const auto offset = number(row, q);
            if (!offset || q != 10) return false;
            if (row[17] == 'n' &&
                (*offset >= before || !objectHeader(text(*offset, 40), *first + i)))
                return false;
        }
        if (sections_.size() < kMaxKnownSections) sections_.push_back({*first, *count, entries});
        pos = entries + *count * 20;
    }
    return false;
}

void PdfWalk::trailer(std::string_view t) {
    const std::size_t info = t.find("/Info");
    if (info == std::string_view::npos) return;
    std::size_t p = info + 5;
    skipBlanks(t, p);
    if (const auto n = number(t, p)) infoObject_ = *n;
}

// The title and creation date of the document information dictionary, when a cross-reference
// table locates it and it is not compressed.
void PdfWalk::readInfo(CarveResult& r) {
    if (infoObject_ == 0) return;
    for (auto s = sections_.rbegin(); s != sections_.rend(); ++s) {
        if (infoObject_ < s->first || infoObject_ - s->first >= s->count) continue;
        const std::string row = text(s->entries + (infoObject_ - s->first) * 20, 20);
        std::size_t q = 0;
        const auto offset = number(row, q);
        if (!offset || row.size() < 18 || row[17] != 'n') return;
        const std::string t = text(*offset, 4096);
        if (!objectHeader(t, infoObject_)) return;
        const std::size_t end = t.find("endobj");
        const std::string_view dict = std::string_view(t).substr(0, end);
        if (const std::size_t title = dict.find("/Title"); title != std::string_view::npos)
            r.name = pdfString(dict.substr(title + 6)).substr(0, 200);
        if (const std::size_t date = dict.find("/CreationDate"); date != std::string_view::npos)
            r.time = pdfDate(dict.substr(date + 13), r.timeUtc);
        return;
    }
}

CarveResult PdfWalk::run() {
    CarveResult r;
    // After the header line, a comment or an object.
    const std::string head = text(0, 64);
    std::size_t p = 8;
    while (p < head.size() && (head[p] == ' ' || head[p] == '\t'))
        ++p;
    if (p >= head.size() || (head[p] != '\r' && head[p] != '\n')) return r;
    skipBlanks(head, p);
    if (p >= head.size() || (head[p] != '%' && !objectHeader(std::string_view(head).substr(p))))
        return r;

    std::uint64_t good = 0, reach = 0;
    bool anyObject = false;
    std::vector<std::uint8_t> buffer(kChunk);
    std::uint64_t at = 0;
    while (at < input_.limit()) {
        const std::size_t got = input_.read(at, buffer);
        if (got <= kOverlap && at + got < input_.limit()) break;  // unreadable
        const std::string_view b(reinterpret_cast<const char*>(buffer.data()), got);
        const std::size_t scanEnd = at + got >= input_.limit() ? got : got - kOverlap;
        bool stop = false;
        for (std::size_t i = b.find_first_of("%e"); i < scanEnd && !stop;
             i = b.find_first_of("%e", i + 1)) {
            const std::uint64_t pos = at + i;
            if (b.substr(i, 6) == "endobj") {
                anyObject = true;
                reach = std::max(reach, pos + 6);
            } else if (b.substr(i, 5) == "%PDF-" && pos > 0 && pos >= good) {
                stop = true;  // another document begins
            } else if (b.substr(i, 5) == "%%EOF") {
                reach = std::max(reach, pos + 5);
                if (!supported(pos)) continue;
                std::uint64_t end = pos + 5;
                const std::string after = text(end, 48);
                std::size_t q = 0;
                if (q < after.size() && after[q] == '\r') ++q;
                if (q < after.size() && after[q] == '\n') ++q;
                good = end + q;
                // An incremental update goes on with an object or a cross-reference table.
                std::size_t u = q;
                skipBlanks(after, u);
                const std::string_view next = std::string_view(after).substr(u);
                if (!objectHeader(next) && next.substr(0, 4) != "xref") {
                    r.verdict = CarveVerdict::Whole;
                    r.length = r.validBytes = good;
                    readInfo(r);
                    return r;
                }
            }
        }
        if (stop) break;
        if (at + got >= input_.limit()) {
            at = input_.limit();
            break;
        }
        at += got - kOverlap;
    }
    if (!anyObject && good == 0) return r;
    reach = std::max(reach, good);
    r.validBytes = good;
    if (at >= input_.limit() && input_.limit() - reach < kNearLimit) {
        r.verdict = CarveVerdict::Truncated;
        r.length = input_.limit();
        r.problem = "the document cut short";
    } else {
        r.verdict = CarveVerdict::Damaged;
        r.length = std::max<std::uint64_t>(reach, 1);
        r.problem = "no cross-reference section supports the end at " + std::to_string(reach);
    }
    readInfo(r);
    return r;
}

}  // namespace

bool pdfStarts(std::span<const std::uint8_t> head) {
    return head.size() >= 9 && head[0] == '%' && head[1] == 'P' && head[2] == 'D' &&
           head[3] == 'F' && head[4] == '-' && (head[5] == '1' || head[5] == '2') &&
           head[6] == '.' && head[7] >= '0' && head[7] <= '9';
}

CarveResult checkPdf(CarveInput& input) {
    std::array<std::uint8_t, 16> head{};
    if (input.read(0, head) < 9 || !pdfStarts(head)) return {};
    return PdfWalk(input).run();
}

}  // namespace rekkon
