#include "engine/matchmask.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/matchmask_reference.h"

namespace {

using kb::MatchMask;
using kb::SplitList;

bool Reference(const std::string& n, const std::string& m, bool amended) {
    return kbtest::ReferenceMatch(n, m, amended);
}

TEST(MatchMask, DocumentedExamples) {
    EXPECT_TRUE(MatchMask("Songs.DAT", "*.dat"));
    EXPECT_FALSE(MatchMask("x.data", "*.dat"));
    EXPECT_TRUE(MatchMask("KaZaA Media Desktop.ini", "kazaa*"));
    EXPECT_TRUE(MatchMask("a", "?"));
    EXPECT_FALSE(MatchMask("ab", "?"));
    EXPECT_FALSE(MatchMask("", "?"));
    EXPECT_FALSE(MatchMask("a.mp3", ""));
    EXPECT_TRUE(MatchMask("anything at all", "*"));
    EXPECT_TRUE(MatchMask("noext", "*"));
    // "*." names only names that end in a dot; it is not "no extension".
    EXPECT_FALSE(MatchMask("noext", "*."));
    EXPECT_TRUE(MatchMask("trailing.", "*."));
}

TEST(MatchMask, CaseFoldingIsAsciiLettersOnly) {
    EXPECT_TRUE(MatchMask("ABC", "abc"));
    EXPECT_TRUE(MatchMask("abc", "ABC"));
    // Bytes outside a-z compare as they are: "[" is not "{", and Latin-1 é
    // (0xE9) is not É (0xC9).
    EXPECT_FALSE(MatchMask("{", "["));
    EXPECT_FALSE(MatchMask("\xE9.mp3", "\xC9.mp3"));
    EXPECT_TRUE(MatchMask("\xE9.mp3", "\xE9.MP3"));
    // Spaces in masks are characters to match, not padding.
    EXPECT_FALSE(MatchMask("a.dat", " *.dat"));
}

TEST(MatchMask, TrailingStarsMatchNothing) {
    // The recursive rules let "x*" match "x" but not "x**"; both should.
    EXPECT_TRUE(MatchMask("x", "x*"));
    EXPECT_TRUE(MatchMask("x", "x**"));
    EXPECT_FALSE(MatchMask("x", "x*?*"));
    EXPECT_TRUE(MatchMask("xy", "x*?*"));
    EXPECT_FALSE(Reference("x", "x**", false));
}

TEST(MatchMask, AgreesWithTheStepByStepRules) {
    std::mt19937 rng(20261208);
    const std::string maskChars = "ab*?A.";
    const std::string nameChars = "abAB.";
    std::uniform_int_distribution<int> len(0, 8);
    auto pick = [&](const std::string& from) {
        return from[std::uniform_int_distribution<size_t>(0, from.size() - 1)(rng)];
    };
    int compared = 0, literalCompared = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string mask, name;
        for (int k = len(rng); k > 0; --k) mask += pick(maskChars);
        for (int k = len(rng) + 1; k > 0; --k) name += pick(nameChars);
        const bool fast = MatchMask(name, mask);
        ASSERT_EQ(fast, Reference(name, mask, true))
            << "name '" << name << "' mask '" << mask << "'";
        ++compared;
        // Without a run of two stars the literal rules and the amended ones agree.
        if (mask.find("**") == std::string::npos) {
            ASSERT_EQ(fast, Reference(name, mask, false))
                << "name '" << name << "' mask '" << mask << "'";
            ++literalCompared;
        }
    }
    EXPECT_GT(literalCompared, compared / 2);
}

TEST(MatchMask, AdversarialMaskFinishesOnLongNames) {
    // Exponential for a recursive matcher (hours at this length).
    const std::string name(4000, 'a');
    EXPECT_FALSE(MatchMask(name, "*a*a*a*a*a*a*b"));
    EXPECT_TRUE(MatchMask(name + "b", "*a*a*a*a*a*a*b"));
    // Names and masks past 255 characters are matched in full.
    const std::string longMask = std::string(300, '?') + "*.dat";
    EXPECT_TRUE(MatchMask(std::string(300, 'x') + ".DAT", longMask));
    EXPECT_FALSE(MatchMask(std::string(299, 'x') + ".DAT", longMask));
}

TEST(SplitList, KeepsEmptyAndUntrimmedItems) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(SplitList(""), V{""});
    EXPECT_EQ(SplitList("kazaa*;*.dat"), (V{"kazaa*", "*.dat"}));
    EXPECT_EQ(SplitList("a; b;"), (V{"a", " b", ""}));
    EXPECT_EQ(SplitList(";;"), (V{"", "", ""}));
}

}  // namespace
