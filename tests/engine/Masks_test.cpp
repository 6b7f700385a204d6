#include "engine/Masks.h"
#include "profiles/Profile.h"
#include "support/TempTree.h"

#include <algorithm>
#include <clocale>
#include <dirent.h>
#include <fnmatch.h>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;

namespace {

// Whether the mask raises; returns the message, or "" when it compiles.
std::string MaskError(std::string_view mask) {
    try {
        TMask m(mask);
    } catch (const EMaskException& e) {
        return e.what();
    }
    return "";
}

std::string Invalid(const std::string& mask, int pos) {
    return "'" + mask + "' ist eine ung\xC3\xBCltige Maske f\xC3\xBCr (" + std::to_string(pos) +
           ")";
}

std::string Repeat(std::string_view piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i)
        s += piece;
    return s;
}

bool Include(std::string_view name, std::string_view list) {
    return MaskListMatches(name, list, "*");
}
bool Exclude(std::string_view name, std::string_view list) {
    return MaskListMatches(name, list, "(none)");
}

// A list result or the message it raised.
std::string Outcome(const std::function<bool()>& f) {
    try {
        return f() ? "true" : "false";
    } catch (const EMaskException& e) {
        return std::string("raised ") + e.what();
    }
}

// Walks a real tree the way the scanner does: every item is filtered, and only folders that
// passed are entered. Links to folders are filtered as folders but not entered. Returns the
// sorted relative paths, real folders ending in "/".
std::vector<std::string> VisibleItems(const std::string& root,
                                      const std::function<bool(std::string_view, bool)>& passes) {
    std::vector<std::string> out;
    std::function<void(const std::string&)> walk = [&](const std::string& rel) {
        const std::string dir = rel.empty() ? root : root + "/" + rel;
        DIR* d = opendir(dir.c_str());
        if (d == nullptr) return;
        std::vector<std::string> names;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = dir + "/" + name;
            const std::string itemRel = rel.empty() ? name : rel + "/" + name;
            struct stat st {};
            const bool isFolder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            if (!passes(name, isFolder)) continue;
            struct stat lst {};
            lstat(path.c_str(), &lst);
            const bool realFolder = isFolder && !S_ISLNK(lst.st_mode);
            out.push_back(itemRel + (realFolder ? "/" : ""));
            if (realFolder) walk(itemRel);
        }
    };
    walk("");
    std::sort(out.begin(), out.end());
    return out;
}

tProfile ProfileWith(std::string include, std::string exclude) {
    tProfile p;
    p.FileMasks = std::move(include);
    p.ExcludeMasks = std::move(exclude);
    return p;
}

} // namespace

TEST(Masks, KeywordsAreExactWholeValues) {
    for (const char* all : {"(all)", "(alle)"}) {
        EXPECT_TRUE(Include("report.doc", all));
        EXPECT_TRUE(Include(".hidden", all));
        EXPECT_TRUE(Exclude("x", all)); // as an exclude list it drops everything
    }
    for (const char* none : {"(none)", "(keine)"}) {
        EXPECT_FALSE(Include("x", none));
        EXPECT_FALSE(Exclude("(none)", none)); // not even a name spelled like the keyword
        EXPECT_FALSE(Exclude("(keine)", none));
    }
    // Not keywords: capitals, a blank before, a blank after. Each is an ordinary mask that
    // matches only a name spelled like it, in any ASCII case.
    for (const char* ordinary : {"(ALL)", " (all)", "(all) ", "(NONE)", " (none)", "\t(keine)"}) {
        SCOPED_TRACE(ordinary);
        EXPECT_FALSE(Include("report.doc", ordinary));
    }
    EXPECT_TRUE(Include("(all)", "(ALL)"));
    EXPECT_TRUE(Include("(All)", " (all)"));
    EXPECT_TRUE(Exclude("(none)", " (none)"));
    EXPECT_TRUE(Exclude("(NONE)", "(NONE)"));
    // A keyword inside a longer list is a plain mask too.
    EXPECT_FALSE(Include("x.txt", "(all);*.doc"));
    EXPECT_TRUE(Include("(ALL)", "(all);*.doc"));
}

TEST(Masks, EmptyListsUseTheirDefaults) {
    for (const std::string& empty :
         std::vector<std::string>{"", " ", "   ", "\t", " \r\n\t ", std::string("\0 \0", 3)}) {
        EXPECT_TRUE(Include("anything.bin", empty));
        EXPECT_TRUE(Include(".hidden", empty));
        EXPECT_FALSE(Exclude("anything.bin", empty));
    }
    // Only the emptiness test sees the default: an empty list with an empty default matches
    // nothing, a default that is a keyword acts as one.
    EXPECT_FALSE(MaskListMatches("x", " ", ""));
    EXPECT_TRUE(MaskListMatches("x", " ", "(alle)"));
    EXPECT_FALSE(MaskListMatches("x", "", "(keine)"));
    // A list of nothing but separators is not empty, it just holds no masks.
    EXPECT_FALSE(Include("x", ";"));
    EXPECT_FALSE(Include("x", " ; ;; "));
}

TEST(Masks, StarDotExtensionIgnoresAsciiCaseOnly) {
    EXPECT_TRUE(MaskMatches("Report.DOC", "*.doc"));
    EXPECT_TRUE(MaskMatches("report.doc", "*.DOC"));
    EXPECT_TRUE(MaskMatches("report.dOc", "*.DoC"));
    EXPECT_TRUE(MaskMatches(".doc", "*.doc"));
    // The whole name must match.
    EXPECT_FALSE(MaskMatches("report.doc.bak", "*.doc"));
    EXPECT_FALSE(MaskMatches("report.docx", "*.doc"));
    EXPECT_FALSE(MaskMatches("report.doc", "*.do"));
    EXPECT_TRUE(MaskMatches("archive.tar.tar.gz", "*.tar.gz")); // needs a retry past ".tar"
    EXPECT_TRUE(MaskMatches(".bashrc", "*"));
    EXPECT_TRUE(MaskMatches("x", "*"));

    // Non-ASCII bytes compare exactly: UTF-8 "ä" (C3 A4) versus "Ä" (C3 84), and the
    // Latin-1 bytes E4 versus C4.
    EXPECT_TRUE(MaskMatches("B\xC3\xA4r.txt", "*\xC3\xA4r.TXT"));
    EXPECT_FALSE(MaskMatches("B\xC3\x84r.txt", "*\xC3\xA4r.txt"));
    EXPECT_FALSE(MaskMatches("\xC3\xA4", "\xC3\x84"));
    EXPECT_TRUE(MaskMatches("\xE4.txt", "\xE4*"));
    EXPECT_FALSE(MaskMatches("\xC4.txt", "\xE4*"));
    EXPECT_FALSE(MaskMatches("\xE4.txt", "[\xC4]*"));
    EXPECT_TRUE(MaskMatches("\xE4.txt", "[\xE4]*"));
}

TEST(Masks, QuestionMarkNeedsOneCharacterUnlessAfterStar) {
    EXPECT_TRUE(MaskMatches("abc", "a?c"));
    EXPECT_TRUE(MaskMatches("A.C", "a?c"));
    EXPECT_FALSE(MaskMatches("ac", "a?c"));
    EXPECT_FALSE(MaskMatches("abbc", "a?c"));
    EXPECT_FALSE(MaskMatches("ab", "ab?"));
    EXPECT_FALSE(MaskMatches("", "?"));
    EXPECT_FALSE(MaskMatches("a", "??"));
    // "*?" and "*??" behave like "*".
    EXPECT_TRUE(MaskMatches("a", "a*?"));
    EXPECT_TRUE(MaskMatches("a", "a*??"));
    EXPECT_TRUE(MaskMatches("abc", "a*?"));
    EXPECT_TRUE(MaskMatches("ab", "*?b"));
    EXPECT_TRUE(MaskMatches("b", "*?b"));
    // A "?" before the star still counts.
    EXPECT_FALSE(MaskMatches("a", "a?*"));
    EXPECT_TRUE(MaskMatches("ab", "a?*"));
}

TEST(Masks, SetsRangesAndNegation) {
    for (const char* name : {"a1.txt", "B.TXT", "c", "A"}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(MaskMatches(name, "[a-c]*"));
        EXPECT_TRUE(MaskMatches(name, "[A-C]*"));
        EXPECT_TRUE(MaskMatches(name, "[b-C]*") || name[0] == 'a' || name[0] == 'A');
        EXPECT_FALSE(MaskMatches(name, "[!a-c]*"));
        EXPECT_FALSE(MaskMatches(name, "[!A-C]*"));
    }
    EXPECT_FALSE(MaskMatches("d.txt", "[a-c]*"));
    EXPECT_TRUE(MaskMatches("d.txt", "[!a-c]*"));
    EXPECT_TRUE(MaskMatches("Y", "[xyz]"));
    EXPECT_TRUE(MaskMatches("data07.csv", "data[0-9][0-9].csv"));
    EXPECT_FALSE(MaskMatches("data7x.csv", "data[0-9][0-9].csv"));
    // A falling range adds nothing beyond its first character.
    EXPECT_TRUE(MaskMatches("c", "[c-a]"));
    EXPECT_FALSE(MaskMatches("b", "[c-a]"));
    // A range bound is the previous set character; a "-" after a range reuses its lower bound.
    EXPECT_TRUE(MaskMatches("e", "[a-c-e]"));
    // Ranges are upper-cased at both ends: "[Z-a]" is Z..A, empty beyond "Z".
    EXPECT_TRUE(MaskMatches("z", "[Z-a]"));
    EXPECT_FALSE(MaskMatches("_", "[Z-a]"));
    // Special characters are plain inside a set.
    EXPECT_TRUE(MaskMatches("*", "[*?]"));
    EXPECT_FALSE(MaskMatches("x", "[*?]"));
    // A set, negated or not, needs one character: the end of the name is none.
    EXPECT_FALSE(MaskMatches("x", "x[!a]"));
    EXPECT_FALSE(MaskMatches("x", "x*[!a]"));
    EXPECT_TRUE(MaskMatches("xb", "x*[!a]"));
    // Star before a set searches for a member.
    EXPECT_TRUE(MaskMatches("notes-2024.txt", "*[0-9].txt"));
    EXPECT_FALSE(MaskMatches("notes-x.txt", "*[0-9].txt"));
}

TEST(Masks, ListsAreSplitTrimmedAndCut) {
    const char* list = "  *.doc ; *.TXT\t;; ;Makefile ;";
    EXPECT_TRUE(Include("a.doc", list));
    EXPECT_FALSE(Include("a.txt", list)); // "*.TXT\t": the trailing tab stays
    EXPECT_TRUE(Include("a.txt\t", list));
    EXPECT_TRUE(Include("makefile", list));
    EXPECT_FALSE(Include("a.bak", list));
    // Leading tab, CR, LF are trimmed; trailing CR and LF stay.
    EXPECT_TRUE(Include("a.doc", "\t\r\n*.doc"));
    EXPECT_FALSE(Include("a.doc", "*.doc\r"));
    EXPECT_FALSE(Include("a.doc", "*.doc\r\n;x"));
    EXPECT_TRUE(Include("a.doc", "x;*.doc\r;*.doc"));
    // Trailing NUL padding is trimmed.
    EXPECT_TRUE(Include("a.doc", std::string("*.doc\0\0", 7)));

    // At most 255 characters per mask; without a ";" in them the rest of the list is gone.
    const std::string a255(255, 'a');
    EXPECT_TRUE(Include(a255, std::string(300, 'a')));
    EXPECT_FALSE(Include(std::string(300, 'a'), std::string(300, 'a')));
    EXPECT_TRUE(Include(a255, std::string(300, 'a') + ";*"));
    EXPECT_FALSE(Include("x.doc", std::string(300, 'a') + ";*.doc"));
    EXPECT_FALSE(Include("x.doc", a255 + ";*.doc")); // the ";" is character 256
    EXPECT_TRUE(Include("x.doc", std::string(254, 'a') + ";*.doc"));
    // A cut mask that ends inside a set raises as an unclosed set.
    EXPECT_EQ(Outcome([&] { return Include("x", std::string(250, 'a') + "[bcdefg];x"); }),
              "raised " + Invalid(std::string(250, 'a') + "[bcde", 256));

    // "/" never matches a name.
    EXPECT_FALSE(Include("x.txt", "sub/*.txt"));
    EXPECT_FALSE(Include("sub", "sub/"));
    EXPECT_FALSE(Exclude("deep", "sub/deep;*/deep"));
}

TEST(Masks, InvalidMasksNameMaskAndPosition) {
    EXPECT_EQ(MaskError("[abc"), Invalid("[abc", 5));
    EXPECT_EQ(MaskError("[]"), Invalid("[]", 2));
    EXPECT_EQ(MaskError("[!]"), Invalid("[!]", 3));
    EXPECT_EQ(MaskError("x[]y"), Invalid("x[]y", 3));
    EXPECT_EQ(MaskError("[-a]"), Invalid("[-a]", 2));
    EXPECT_EQ(MaskError("ab[!-a]"), Invalid("ab[!-a]", 5));
    EXPECT_EQ(MaskError("["), Invalid("[", 2));
    EXPECT_EQ(MaskError("[a-"), Invalid("[a-", 4));
    // "-" takes the next character as its bound, even "]": the set stays open.
    EXPECT_EQ(MaskError("[a-]"), Invalid("[a-]", 5));
    EXPECT_EQ(MaskError("[a-]]"), "");
    EXPECT_TRUE(MaskMatches("\\", "[a-]]"));
    EXPECT_TRUE(MaskMatches("x", "[a-]x]"));
    EXPECT_TRUE(MaskMatches("[", "[a-]x]"));
    EXPECT_FALSE(MaskMatches("^", "[a-]x]"));
    EXPECT_EQ(MaskError("*.doc"), "");
    EXPECT_EQ(MaskError("]"), "");
    EXPECT_TRUE(MaskMatches("]", "]"));

    // Through a list: the message holds the trimmed single mask and the position in it.
    EXPECT_EQ(Outcome([] { return Include("x.txt", "*.doc;  [abc  ;*.txt"); }),
              "raised " + Invalid("[abc", 5));
    // The list stops at the first match, so a later invalid mask is never read.
    EXPECT_EQ(Outcome([] { return Include("x.doc", "*.doc;[abc"); }), "true");
    EXPECT_EQ(Outcome([] { return Include("x.txt", "*.doc;[abc"); }),
              "raised " + Invalid("[abc", 5));
    // Keywords never reach the compiler.
    EXPECT_EQ(Outcome([] { return Exclude("x", "(none)"); }), "false");
}

TEST(Masks, AtMostThirtySkipToSteps) {
    const std::string thirty = Repeat("*a", 30);
    EXPECT_EQ(MaskError(thirty), "");
    EXPECT_TRUE(MaskMatches(std::string(30, 'a'), thirty));
    EXPECT_TRUE(MaskMatches("x" + Repeat("ba", 30), thirty));
    EXPECT_FALSE(MaskMatches(std::string(29, 'a'), thirty));
    // The 31st is the literal at character 62, or the end marker after a final "*".
    EXPECT_EQ(MaskError(Repeat("*a", 31)), Invalid(Repeat("*a", 31), 62));
    EXPECT_EQ(MaskError(thirty + "*"), Invalid(thirty + "*", 62));
    EXPECT_EQ(MaskError(Repeat("*[ab]", 31)), Invalid(Repeat("*[ab]", 31), 155));
    // Runs of "*" and a "?" after "*" count once.
    EXPECT_EQ(MaskError(Repeat("**a", 30)), "");
    EXPECT_EQ(MaskError(Repeat("*?a", 30)), "");
    EXPECT_EQ(MaskError(Repeat("a?", 40)), "");
    EXPECT_TRUE(MaskMatches(Repeat("ab", 30), Repeat("*?b", 30)));
}

TEST(Masks, BacktrackingAgreesWithFnmatch) {
    // fnmatch in the C locale with case folding is an independent matcher for literals, "*"
    // and "?"; only the dropping of "?" right after "*" has to be mirrored for it.
    std::mt19937 rng(12345);
    const std::string maskChars = "aabB.**?";
    const std::string nameChars = "aabAB.";
    auto pick = [&](const std::string& from) { return from[rng() % from.size()]; };
    int matched = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string mask, forFnmatch;
        bool pending = false;
        for (size_t i = 0, n = 1 + rng() % 10; i < n; ++i) {
            const char c = pick(maskChars);
            mask += c;
            if (c == '*') {
                pending = true;
                forFnmatch += c;
            } else if (c != '?' || !pending) {
                pending = false;
                forFnmatch += c;
            }
        }
        std::string name;
        for (size_t i = 0, n = rng() % 30; i < n; ++i)
            name += pick(nameChars);
        const bool expected = fnmatch(forFnmatch.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
        ASSERT_EQ(MaskMatches(name, mask), expected) << "mask " << mask << " name " << name;
        matched += expected;
    }
    EXPECT_GT(matched, 1000); // the sample holds plenty of both outcomes
    EXPECT_LT(matched, 19000);
}

TEST(Masks, ManyStarsOnLongNamesFinish) {
    // Plain retrying of every star position would take longer than the age of the universe:
    // the name's end fits the mask, the missing "b" in the middle is what fails.
    const std::string mask = Repeat("*a", 12) + "*b*a";
    EXPECT_FALSE(MaskMatches(std::string(250, 'a'), mask));
    EXPECT_TRUE(MaskMatches(std::string(120, 'a') + "b" + std::string(130, 'a'), mask));
    EXPECT_FALSE(MaskMatches(std::string(5, 'a') + "b" + std::string(240, 'a'), mask));
    // Longer than any file name, which the matcher accepts all the same.
    const std::string longMask = Repeat("*a", 20) + "*c*a";
    EXPECT_FALSE(MaskMatches(std::string(100, 'a') + "b" + std::string(200, 'a'), longMask));
    EXPECT_TRUE(MaskMatches(std::string(100, 'a') + "c" + std::string(200, 'a'), longMask));
}

TEST(Masks, TwoByteCharactersWhereTheLocaleHasLeadBytes) {
    tLeadBytes lead;
    for (unsigned b = 0x81; b <= 0xFE; ++b)
        lead.set(b);
    // Lead and trail byte form one step; the trail byte is not case-folded.
    EXPECT_TRUE(TMask("a\x81z", lead).Matches("A\x81z"));
    EXPECT_FALSE(TMask("a\x81z", lead).Matches("a\x81Z"));
    // A star before it walks whole characters: the pair hidden across a character boundary
    // ("\x81\x81" then "z") is not found, one after an odd number of single bytes is.
    TMask star("*\x81z", lead);
    EXPECT_TRUE(star.Matches("x\x81z"));
    EXPECT_TRUE(star.Matches("xy\x82q\x81z"));
    EXPECT_FALSE(star.Matches("\x81\x81z"));
    EXPECT_TRUE(star.Matches("\x81\x81\x81z"));
    EXPECT_FALSE(star.Matches("\x81z."));
    EXPECT_TRUE(TMask("*\x81z.*", lead).Matches("x\x81z.\x81z.txt"));
    // A "?" is one byte.
    EXPECT_TRUE(TMask("??", lead).Matches("\x81z"));
    // Inside a set a two-byte character is passed over whole.
    TMask set("[\x81"
              "ab]",
              lead);
    EXPECT_TRUE(set.Matches("B"));
    EXPECT_FALSE(set.Matches("a"));
    EXPECT_FALSE(set.Matches("\x81"));
    EXPECT_EQ(Outcome([&] { return TMask("[\x81]", lead).Matches("x"); }),
              "raised " + Invalid("[\x81]", 4));
    // A lead byte that ends the mask is an ordinary byte.
    EXPECT_TRUE(TMask("a\x81", lead).Matches("a\x81"));
    EXPECT_FALSE(TMask("a\x81", lead).Matches("a\x81z"));
    // Without lead bytes the same bytes are single literals.
    EXPECT_TRUE(TMask("*\x81z", tLeadBytes{}).Matches("\x81\x81z"));

    // UTF-8 and single-byte locales declare none.
    const std::string saved = std::setlocale(LC_CTYPE, nullptr);
    for (const char* name : {"C", "C.UTF-8"}) {
        if (std::setlocale(LC_CTYPE, name) == nullptr) continue;
        EXPECT_TRUE(LocaleLeadBytes().none()) << name;
    }
    std::setlocale(LC_CTYPE, saved.c_str());
    EXPECT_TRUE(SystemLeadBytes().none());
}

TEST(Masks, FoldersSkipTheIncludeListButNotTheExcludeList) {
    const tProfile p = ProfileWith("*.doc", "tmp;*.bak");
    const tMaskFilter filter(p);
    struct Case {
        const char* name;
        bool isFolder, passes;
    };
    for (const Case& c :
         {Case{"src", true, true}, Case{"src", false, false}, Case{"a.doc", false, true},
          Case{"a.DOC", false, true}, Case{"a.txt", false, false}, Case{"tmp", true, false},
          Case{"TMP", true, false}, Case{"tmp.doc", false, true}, Case{"old.bak", true, false},
          Case{"x.doc.bak", false, false}}) {
        SCOPED_TRACE(std::string(c.name) + (c.isFolder ? " (folder)" : " (file)"));
        EXPECT_EQ(ItemPassesMasks(p, c.name, c.isFolder), c.passes);
        EXPECT_EQ(filter.Passes(c.name, c.isFolder), c.passes);
    }
    // An invalid include list is never read for folders.
    const tProfile broken = ProfileWith("[abc", "");
    EXPECT_TRUE(ItemPassesMasks(broken, "sub", true));
    EXPECT_THROW(ItemPassesMasks(broken, "a", false), EMaskException);
    // A file that fails the include list never reaches an invalid exclude list.
    const tProfile brokenExclude = ProfileWith("*.doc", "[]");
    EXPECT_FALSE(ItemPassesMasks(brokenExclude, "a.txt", false));
    EXPECT_THROW(ItemPassesMasks(brokenExclude, "a.doc", false), EMaskException);
    EXPECT_THROW(ItemPassesMasks(brokenExclude, "sub", true), EMaskException);
    // Empty profile fields: everything passes.
    EXPECT_TRUE(ItemPassesMasks(ProfileWith("", ""), ".x", false));
    EXPECT_TRUE(tMaskFilter(ProfileWith(" ", "")).Passes(".x", false));
}

TEST(Masks, RealTreeFilteredLikeTheScanner) {
    TempTree t;
    t.WriteFile("a.doc", "1");
    t.WriteFile("b.txt", "2");
    t.WriteFile("docs/c.DOC", "3");
    t.WriteFile("docs/deep/d.doc", "4");
    t.WriteFile("docs/deep/e.bak", "5");
    t.WriteFile("tmp/f.doc", "6");
    t.WriteFile("tmp/inner/g.doc", "7");
    t.WriteFile("src/tmp/h.doc", "8");
    t.WriteFile("src/tmp.doc", "9");
    t.WriteFile(".hidden.doc", "10");
    t.MakeLink("docs-link", "docs");

    const tProfile p = ProfileWith("*.doc", "tmp;*.bak");
    const tMaskFilter filter(p);
    // "docs-link" is a link to a folder: a folder for the masks, so "*.doc" keeps it.
    const std::vector<std::string> expected = {".hidden.doc",     "a.doc",      "docs-link",
                                               "docs/",           "docs/c.DOC", "docs/deep/",
                                               "docs/deep/d.doc", "src/",       "src/tmp.doc"};
    EXPECT_EQ(
        VisibleItems(t.Root(), [&](std::string_view n, bool f) { return filter.Passes(n, f); }),
        expected);
    EXPECT_EQ(VisibleItems(t.Root(),
                           [&](std::string_view n, bool f) { return ItemPassesMasks(p, n, f); }),
              expected);

    // The keyword lists hide nothing; an exclude "*" hides everything.
    const tMaskFilter open(ProfileWith("(all)", "(none)"));
    EXPECT_EQ(VisibleItems(t.Root(), [&](std::string_view n, bool f) { return open.Passes(n, f); }),
              (std::vector<std::string>{
                  ".hidden.doc", "a.doc", "b.txt", "docs-link", "docs/", "docs/c.DOC", "docs/deep/",
                  "docs/deep/d.doc", "docs/deep/e.bak", "src/", "src/tmp.doc", "src/tmp/",
                  "src/tmp/h.doc", "tmp/", "tmp/f.doc", "tmp/inner/", "tmp/inner/g.doc"}));
    const tMaskFilter closed(ProfileWith("(all)", "x;*"));
    EXPECT_TRUE(VisibleItems(t.Root(), [&](std::string_view n, bool f) {
                    return closed.Passes(n, f);
                }).empty());
}

TEST(Masks, CompiledListsGiveTheSameResultsAndErrors) {
    std::mt19937 rng(424242);
    const std::vector<std::string> pieces = {"*.doc",
                                             "*.TXT",
                                             "~*",
                                             "data??.csv",
                                             "[a-c]*",
                                             "[!x-z]?*",
                                             "*a*b*",
                                             "?",
                                             "*",
                                             "a*?",
                                             "[abc",
                                             "[]",
                                             "[-a]",
                                             "(all)",
                                             "(none)",
                                             "  ",
                                             "",
                                             "\t*.o",
                                             "*.bak\r",
                                             "\xC3\xA4*",
                                             "Thumbs.db",
                                             "*[0-9]",
                                             Repeat("*a", 31),
                                             "sub/x"};
    const std::vector<std::string> whole = {"",       " ",       "(all)",  "(alle)",
                                            "(none)", "(keine)", " (all)", "(ALL)"};
    const std::string nameChars = "abcABCxyz.~09_-\xC3\xA4";
    auto randomList = [&] {
        if (rng() % 5 == 0) return whole[rng() % whole.size()];
        std::string list;
        for (size_t i = 0, n = rng() % 5; i < n; ++i) {
            if (i > 0) list += std::string(rng() % 3, ' ') + ";" + std::string(rng() % 2, ' ');
            list += pieces[rng() % pieces.size()];
        }
        return list;
    };
    auto randomName = [&] {
        static const std::vector<std::string> known = {
            "a.doc", "X.TXT", "~tmp", "data01.csv", "Thumbs.db", "b", "ab", "zz9", ".o"};
        if (rng() % 3 == 0) return known[rng() % known.size()];
        std::string name;
        for (size_t i = 0, n = 1 + rng() % 12; i < n; ++i)
            name += nameChars[rng() % nameChars.size()];
        return name;
    };

    int raised = 0, passed = 0, compared = 0;
    for (int round = 0; round < 300; ++round) {
        const tProfile p = ProfileWith(randomList(), randomList());
        const tMaskFilter filter(p); // constructing never raises
        const tMaskList include(p.FileMasks, "*");
        for (int i = 0; i < 40; ++i) {
            const std::string name = randomName();
            const bool isFolder = rng() % 4 == 0;
            const std::string perCall = Outcome([&] { return ItemPassesMasks(p, name, isFolder); });
            SCOPED_TRACE("include '" + p.FileMasks + "' exclude '" + p.ExcludeMasks + "' name '" +
                         name + "'");
            ASSERT_EQ(Outcome([&] { return filter.Passes(name, isFolder); }), perCall);
            ASSERT_EQ(Outcome([&] { return include.Matches(name); }),
                      Outcome([&] { return MaskListMatches(name, p.FileMasks, "*"); }));
            raised += perCall.starts_with("raised");
            passed += perCall == "true";
            ++compared;
        }
    }
    // Both outcomes and errors occur often enough for the comparison to mean something.
    EXPECT_GT(raised, compared / 20);
    EXPECT_GT(passed, compared / 10);
    EXPECT_LT(passed + raised, compared * 9 / 10);
}

TEST(Masks, CompiledListRaisesOnFirstUse) {
    const tProfile p = ProfileWith("*.doc;[abc", "(none)");
    std::optional<tMaskFilter> filter;
    ASSERT_NO_THROW(filter.emplace(p));
    EXPECT_TRUE(filter->Passes("a.doc", false)); // matched before the invalid mask
    try {
        filter->Passes("a.txt", false);
        FAIL() << "no error raised";
    } catch (const EMaskException& e) {
        EXPECT_EQ(std::string(e.what()), Invalid("[abc", 5));
    }
    // It raises again on every item that reaches it, as the uncompiled rule does.
    EXPECT_THROW(filter->Passes("b.txt", false), EMaskException);
    EXPECT_TRUE(filter->Passes("folder", true));

    const tMaskList list(" x ;[-a]", "*");
    EXPECT_THROW(list.Matches("y"), EMaskException);
    EXPECT_TRUE(list.Matches("X"));
}
