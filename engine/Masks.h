// File masks: the wildcard language of one mask, mask lists, and the include/exclude rule.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tProfile;

// Raised for an invalid mask; the message names the mask and the 1-based position.
class EMaskException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bytes that start a two-byte character in the locale's character set.
using tLeadBytes = std::bitset<256>;

// The lead bytes of the current LC_CTYPE locale: none for UTF-8 and single-byte character
// sets; for other multi-byte sets every byte that cannot stand alone.
tLeadBytes LocaleLeadBytes();
// LocaleLeadBytes() as it was at the first call; what masks use unless told otherwise.
const tLeadBytes& SystemLeadBytes();

// A compiled mask: a sequence of match steps.
class TMask {
public:
    // Throws EMaskException for an invalid mask.
    explicit TMask(std::string_view mask);
    TMask(std::string_view mask, const tLeadBytes& leadBytes);
    // Whether the whole name matches; ASCII letters compare case-insensitively.
    bool Matches(std::string_view name) const;

    enum class tStepKind : uint8_t { Literal, AnyChar, Set, DoubleByte };
    struct tStep {
        tStepKind Kind = tStepKind::Literal;
        bool SkipTo = false;
        bool Negated = false;
        bool EndMarker = false;
        uint8_t Lead = 0, Trail = 0; // literal byte (upper-cased), or lead and trail byte
        uint8_t Card = 0;            // 1-based number among the SkipTo steps, else 0
        int SetIndex = -1;           // into sets_
    };

    // Skip-to steps a mask may hold, and places on the matcher's backtracking stack.
    static constexpr int MaxCards = 30;

private:
    struct tMatchStack;
    bool MatchFrom(std::string_view name, size_t pos, size_t start, tMatchStack& stack) const;
    // Bytes the step takes at pos without skipping, 0 when it fails there (or is the end).
    size_t StepAt(const tStep& st, const uint8_t* s, size_t pos, size_t n) const;
    bool InSet(const tStep& st, uint8_t c) const;

    std::vector<tStep> steps_;
    std::vector<std::array<uint64_t, 4>> sets_; // upper-cased members as a 256-bit set
    tLeadBytes leadBytes_;
    // Steps from tailStart_ to the end marker take a fixed tailWidth_ bytes at the end of
    // the name: the last skip-to step and those after it (all steps when there is none).
    size_t tailStart_ = 0, tailWidth_ = 0;
};

// Compiles, matches and releases. Throws EMaskException for an invalid mask.
bool MaskMatches(std::string_view name, std::string_view mask);
// True when at least one mask of the list matches the name. An empty (after trimming) list
// is replaced by defaultList. Throws EMaskException when it reaches an invalid mask.
bool MaskListMatches(std::string_view name, std::string_view list, std::string_view defaultList);

// A mask list compiled once. Compiling is deferred to the first match, and an invalid mask
// raises its error each time matching reaches it, just as MaskListMatches would; results are
// those of MaskListMatches(name, list, defaultList). Not for use from several threads.
class tMaskList {
public:
    tMaskList(std::string list, std::string defaultList);
    tMaskList(tMaskList&&) noexcept;
    tMaskList& operator=(tMaskList&&) noexcept;
    ~tMaskList();
    // Throws EMaskException when it reaches an invalid mask.
    bool Matches(std::string_view name) const;

private:
    struct tEntry;
    void Compile() const;

    std::string list_, default_;
    mutable bool compiled_ = false;
    mutable bool matchesNothing_ = false;
    mutable std::vector<tEntry> masks_;
};

// The filter the scanner applies to every directory item: files must match the include
// list, files and folders must not match the exclude list. Throws EMaskException.
bool ItemPassesMasks(const tProfile& profile, std::string_view name, bool isFolder);

// The same rule with both lists compiled once (for a whole scan). Copies the profile's
// masks at construction; results and errors are those of ItemPassesMasks.
class tMaskFilter {
public:
    explicit tMaskFilter(const tProfile& profile);
    // Throws EMaskException when it reaches an invalid mask.
    bool Passes(std::string_view name, bool isFolder) const;

private:
    tMaskList include_, exclude_;
};

} // namespace corvane
