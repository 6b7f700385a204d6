#include "engine/Masks.h"

#include "profiles/Profile.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <langinfo.h>
#include <strings.h>
#include <utility>

namespace corvane {

namespace {

constexpr size_t kMaxMaskLength = 255;
// Backtracking retries before the matcher starts remembering the places it has tried.
constexpr int kRetriesBeforeMemo = 64;
// Name positions (0 to 255) the fixed table of tried places covers; file names are at most
// 255 bytes.
constexpr size_t kMemoPositions = 256;

// Case folding is ASCII-only, for masks and names alike.
inline uint8_t Upper(uint8_t c) {
    return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - ('a' - 'A')) : c;
}

[[noreturn]] void InvalidMask(std::string_view mask, size_t index) {
    throw EMaskException("'" + std::string(mask) + "' ist eine ungültige Maske für (" +
                         std::to_string(index + 1) + ")");
}

std::string_view TrimMask(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0' || s.front() == '\r' ||
                          s.front() == '\n' || s.front() == '\t'))
        s.remove_prefix(1);
    // A trailing tab, CR or LF stays part of the mask.
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

// Applies defaults and keywords. Returns the list to split, or sets matchesNothing.
std::string_view ResolveList(std::string_view list, std::string_view defaultList,
                             bool& matchesNothing) {
    matchesNothing = false;
    if (TrimMask(list).empty()) list = defaultList;
    // Keywords compare the whole untrimmed value, case-sensitively.
    if (list == "(all)" || list == "(alle)") return "*";
    if (list == "(none)" || list == "(keine)") matchesNothing = true;
    return list;
}

// Calls f for every non-empty trimmed mask of the list, left to right, until it returns true.
// A mask ends at the next ";" within 255 characters; without one, those 255 characters are
// the last mask and the rest of the list is ignored.
template <typename F> bool AnyMask(std::string_view rest, F&& f) {
    while (!rest.empty()) {
        std::string_view mask = rest.substr(0, kMaxMaskLength);
        const size_t semicolon = mask.find(';');
        if (semicolon != std::string_view::npos) {
            mask = mask.substr(0, semicolon);
            rest.remove_prefix(semicolon + 1);
        } else {
            rest = {};
        }
        mask = TrimMask(mask);
        if (!mask.empty() && f(mask)) return true;
    }
    return false;
}

} // namespace

tLeadBytes LocaleLeadBytes() {
    tLeadBytes lead;
    if (MB_CUR_MAX <= 1) return lead;
    const char* codeset = nl_langinfo(CODESET);
    if (codeset != nullptr &&
        (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "UTF8") == 0))
        return lead;
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        std::mbstate_t state{};
        const char c = static_cast<char>(b);
        if (std::mbrtowc(nullptr, &c, 1, &state) == static_cast<size_t>(-2)) lead.set(b);
    }
    return lead;
}

const tLeadBytes& SystemLeadBytes() {
    static const tLeadBytes lead = LocaleLeadBytes();
    return lead;
}

// ---- Compiling ----

TMask::TMask(std::string_view mask) : TMask(mask, SystemLeadBytes()) {}

TMask::TMask(std::string_view mask, const tLeadBytes& leadBytes) : leadBytes_(leadBytes) {
    const size_t n = mask.size();
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(mask[i]); };
    bool skipTo = false;
    int cards = 0;
    // at: index of the mask character that completes the step (for the error position).
    const auto write = [&](tStep step, size_t at) {
        if (skipTo) {
            if (++cards > MaxCards) InvalidMask(mask, at);
            step.Card = static_cast<uint8_t>(cards);
        }
        step.SkipTo = skipTo;
        skipTo = false;
        steps_.push_back(step);
    };

    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = byte(i);
        if (c == '*') {
            skipTo = true;
        } else if (c == '?') {
            // "*?" demands no extra character: the "?" is dropped.
            if (!skipTo) write({.Kind = tStepKind::AnyChar}, i);
        } else if (c == '[') {
            std::array<uint64_t, 4> set{};
            const auto add = [&](unsigned b) { set[b >> 6] |= uint64_t{1} << (b & 63); };
            bool negated = false;
            size_t p = i + 1;
            if (p < n && byte(p) == '!') {
                negated = true;
                ++p;
            }
            unsigned lower = 0; // 0: no set character yet
            while (p < n && byte(p) != ']') {
                const uint8_t d = byte(p);
                if (leadBytes_[d]) {
                    ++p; // sets hold single bytes: a two-byte character is passed over whole
                } else if (d == '-') {
                    if (lower == 0) InvalidMask(mask, p);
                    if (++p == n) break;
                    for (unsigned b = lower; b <= Upper(byte(p)); ++b)
                        add(b);
                } else {
                    lower = Upper(d);
                    add(lower);
                }
                ++p;
            }
            if (p >= n || (set[0] | set[1] | set[2] | set[3]) == 0)
                InvalidMask(mask, std::min(p, n));
            sets_.push_back(set);
            write({.Kind = tStepKind::Set,
                   .Negated = negated,
                   .SetIndex = static_cast<int>(sets_.size() - 1)},
                  p);
            i = p;
        } else if (leadBytes_[c] && i + 1 < n) {
            write({.Kind = tStepKind::DoubleByte, .Lead = c, .Trail = byte(i + 1)}, i + 1);
            ++i;
        } else {
            write({.Kind = tStepKind::Literal, .Lead = Upper(c)}, i);
        }
    }
    write({.Kind = tStepKind::Literal, .EndMarker = true}, n);

    for (size_t i = 0; i < steps_.size(); ++i)
        if (steps_[i].SkipTo) tailStart_ = i;
    for (size_t i = tailStart_; i + 1 < steps_.size(); ++i)
        tailWidth_ += steps_[i].Kind == tStepKind::DoubleByte ? 2 : 1;
}

// ---- Matching ----

// Places to retry: (position after a found character, skip-to step). The step indices on it
// strictly increase from bottom to top, so it never holds more entries than there are
// skip-to steps, which the compiler limits to MaxCards.
struct TMask::tMatchStack {
    struct tPlace {
        uint32_t Pos;
        uint32_t Step;
    };
    std::array<tPlace, MaxCards> Places;
    int Top = 0;
};

inline bool TMask::InSet(const tStep& st, uint8_t c) const {
    const uint8_t u = Upper(c);
    return (((sets_[st.SetIndex][u >> 6] >> (u & 63)) & 1) != 0) != st.Negated;
}

inline size_t TMask::StepAt(const tStep& st, const uint8_t* s, size_t pos, size_t n) const {
    switch (st.Kind) {
    case tStepKind::Literal:
        return pos < n && Upper(s[pos]) == st.Lead ? 1 : 0;
    case tStepKind::AnyChar:
        return pos < n ? 1 : 0;
    case tStepKind::Set:
        // Even a negated set needs a character: the end of the name is not one.
        return pos < n && InSet(st, s[pos]) ? 1 : 0;
    case tStepKind::DoubleByte:
        return pos + 1 < n && s[pos] == st.Lead && s[pos + 1] == st.Trail ? 2 : 0;
    }
    return 0;
}

bool TMask::MatchFrom(std::string_view name, size_t pos, size_t start, tMatchStack& stack) const {
    const size_t n = name.size();
    const auto* s = reinterpret_cast<const uint8_t*>(name.data());

    for (size_t i = start; i < steps_.size(); ++i) {
        const tStep& st = steps_[i];
        if (st.SkipTo) {
            size_t width = 1;
            switch (st.Kind) {
            case tStepKind::Literal:
                if (st.EndMarker)
                    pos = n;
                else
                    while (pos < n && Upper(s[pos]) != st.Lead)
                        ++pos;
                break;
            case tStepKind::Set:
                while (pos < n && !InSet(st, s[pos]))
                    ++pos;
                break;
            case tStepKind::DoubleByte:
                // Walk whole characters so that a trail byte is never taken for a lead byte.
                while (pos < n && !(s[pos] == st.Lead && pos + 1 < n && s[pos + 1] == st.Trail))
                    pos += (leadBytes_[s[pos]] && pos + 1 < n) ? 2 : 1;
                width = 2;
                break;
            case tStepKind::AnyChar:
                break; // never carries the flag
            }
            if (pos < n && stack.Top < MaxCards)
                stack.Places[stack.Top++] = {static_cast<uint32_t>(pos + width),
                                             static_cast<uint32_t>(i)};
        }

        if (st.EndMarker) return pos == n;
        const size_t width = StepAt(st, s, pos, n);
        if (width == 0) return false;
        pos += width;
    }
    return true;
}

bool TMask::Matches(std::string_view name) const {
    // The steps from the last skip-to step on can only sit right before the end of the name;
    // most names fail there, which is cheaper to find out from the end than by searching.
    const size_t n = name.size();
    if (tailStart_ + 1 < steps_.size()) {
        if (n < tailWidth_) return false;
        const auto* s = reinterpret_cast<const uint8_t*>(name.data());
        size_t pos = n - tailWidth_;
        for (size_t i = tailStart_; i + 1 < steps_.size(); ++i) {
            const size_t width = StepAt(steps_[i], s, pos, n);
            if (width == 0) return false;
            pos += width;
        }
    }

    tMatchStack stack;
    size_t pos = 0, start = 0;
    for (int retries = 0; retries < kRetriesBeforeMemo; ++retries) {
        if (MatchFrom(name, pos, start, stack)) return true;
        if (stack.Top == 0) return false;
        --stack.Top;
        pos = stack.Places[stack.Top].Pos;
        start = stack.Places[stack.Top].Step;
    }

    // Masks with several "*" can make the retries grow exponentially with the name length.
    // A (position, step) attempt always ends the same way, so an attempt that already failed
    // is not repeated; this changes the work, never the result.
    std::bitset<(MaxCards + 1) * kMemoPositions> tried;
    std::vector<bool> triedLong; // only for texts longer than any file name
    const size_t positions = name.size() + 1;
    if (positions > kMemoPositions) triedLong.resize((MaxCards + 1) * positions);
    for (;;) {
        bool repeated;
        if (triedLong.empty()) {
            const size_t state = steps_[start].Card * kMemoPositions + pos;
            repeated = tried.test(state);
            tried.set(state);
        } else {
            const size_t state = steps_[start].Card * positions + pos;
            repeated = triedLong[state];
            triedLong[state] = true;
        }
        if (!repeated && MatchFrom(name, pos, start, stack)) return true;
        if (stack.Top == 0) return false;
        --stack.Top;
        pos = stack.Places[stack.Top].Pos;
        start = stack.Places[stack.Top].Step;
    }
}

bool MaskMatches(std::string_view name, std::string_view mask) {
    return TMask(mask).Matches(name);
}

bool MaskListMatches(std::string_view name, std::string_view list, std::string_view defaultList) {
    bool matchesNothing = false;
    list = ResolveList(list, defaultList, matchesNothing);
    if (matchesNothing) return false;
    return AnyMask(list, [&](std::string_view mask) { return MaskMatches(name, mask); });
}

// ---- Compiled lists ----

// A compiled mask, or the error its text raised, to be raised where matching reaches it.
struct tMaskList::tEntry {
    std::unique_ptr<TMask> Mask;
    std::string Error;
};

tMaskList::tMaskList(std::string list, std::string defaultList)
    : list_(std::move(list)), default_(std::move(defaultList)) {}
tMaskList::tMaskList(tMaskList&&) noexcept = default;
tMaskList& tMaskList::operator=(tMaskList&&) noexcept = default;
tMaskList::~tMaskList() = default;

void tMaskList::Compile() const {
    std::vector<tEntry> masks;
    bool matchesNothing = false;
    const std::string_view list = ResolveList(list_, default_, matchesNothing);
    if (!matchesNothing) {
        AnyMask(list, [&](std::string_view mask) {
            tEntry entry;
            try {
                entry.Mask = std::make_unique<TMask>(mask);
            } catch (const EMaskException& e) {
                entry.Error = e.what();
            }
            masks.push_back(std::move(entry));
            return false;
        });
    }
    masks_ = std::move(masks);
    matchesNothing_ = matchesNothing;
    compiled_ = true;
}

bool tMaskList::Matches(std::string_view name) const {
    if (!compiled_) Compile();
    if (matchesNothing_) return false;
    for (const tEntry& entry : masks_) {
        if (!entry.Mask) throw EMaskException(entry.Error);
        if (entry.Mask->Matches(name)) return true;
    }
    return false;
}

// ---- The include/exclude rule ----

bool ItemPassesMasks(const tProfile& profile, std::string_view name, bool isFolder) {
    // Folders are never tested against the include list, so "*.doc" does not hide them.
    if (!isFolder && !MaskListMatches(name, profile.FileMasks, "*")) return false;
    return !MaskListMatches(name, profile.ExcludeMasks, "(none)");
}

tMaskFilter::tMaskFilter(const tProfile& profile)
    : include_(profile.FileMasks, "*"), exclude_(profile.ExcludeMasks, "(none)") {}

bool tMaskFilter::Passes(std::string_view name, bool isFolder) const {
    if (!isFolder && !include_.Matches(name)) return false;
    return !exclude_.Matches(name);
}

} // namespace corvane
