#include "engine/conditions.h"

#include <gtest/gtest.h>

#include <numeric>

#include "platform/localtime.h"

namespace {

using kb::filerec;
using kb::ruleacondrec;

std::vector<filerec> Files(std::initializer_list<const char*> names) {
    std::vector<filerec> v;
    for (const char* n : names) v.push_back(filerec{n, 0, 0.0});
    return v;
}

// Applies `cond` to a candidate list holding the whole listing; returns the
// names that stay, in order.
std::vector<std::string> Keep(const ruleacondrec& cond, const std::vector<filerec>& listing,
                              double now = 0.0) {
    std::vector<std::uint32_t> cand(listing.size());
    std::iota(cand.begin(), cand.end(), 0u);
    kb::ApplyCondition(cond, cand, listing, now);
    std::vector<std::string> names;
    for (auto i : cand) names.push_back(listing[i].name);
    return names;
}

using Names = std::vector<std::string>;

ruleacondrec Ext(const std::string& list) {
    ruleacondrec c;
    c.rcond = kb::condExtension;
    c.fileext.ext = list;
    return c;
}

ruleacondrec Size(std::uint8_t cmp, std::int32_t kb) {
    ruleacondrec c;
    c.rcond = kb::condSize;
    c.rnum = cmp;
    c.size = kb;
    return c;
}

ruleacondrec Days(std::uint8_t cmp, std::int32_t days) {
    ruleacondrec c;
    c.rcond = kb::condDate;
    c.rdayscmp = cmp;
    c.rdays = days;
    return c;
}

ruleacondrec Ranked(bool newest, std::int32_t n) {
    ruleacondrec c;
    c.rcond = newest ? kb::condNewest : kb::condOldest;
    (newest ? c.newestcnt : c.oldestcnt) = n;
    return c;
}

TEST(ExtensionCondition, ExactCaseSensitiveLastExtension) {
    const auto listing =
        Files({"Song.mp3", "b.wav", "Song.MP3", "a.mp3.part", "readme.txt", "x.tar.mp3"});
    EXPECT_EQ(Keep(Ext("mp3;wav"), listing), (Names{"Song.mp3", "b.wav", "x.tar.mp3"}));
    // Items are not trimmed: " wav" is not "wav".
    EXPECT_EQ(Keep(Ext("mp3; wav"), listing), (Names{"Song.mp3", "x.tar.mp3"}));
}

TEST(ExtensionCondition, NamesWithoutADotMatchNoItem) {
    const auto listing = Files({"README", "trailing.", "a.mp3"});
    // A trailing ";" gives an empty item: it matches the empty extension of
    // "trailing." but never a name that has no extension at all.
    EXPECT_EQ(Keep(Ext("mp3;"), listing), (Names{"trailing.", "a.mp3"}));
    EXPECT_EQ(Keep(Ext(""), listing), (Names{"trailing."}));
}

TEST(SizeCondition, WholeKilobytesTruncated) {
    std::vector<filerec> listing{{"empty", 0, 0},     {"k1023", 1023, 0},
                                 {"k1024", 1024, 0},  {"k100", 102500, 0},
                                 {"k101", 103424, 0}, {"big", 5'000'000'000LL, 0}};
    EXPECT_EQ(Keep(Size(kb::cmpLess, 1), listing), (Names{"empty", "k1023"}));
    EXPECT_EQ(Keep(Size(kb::cmpGreater, 0), listing), (Names{"k1024", "k100", "k101", "big"}));
    EXPECT_EQ(Keep(Size(kb::cmpGreater, 100), listing), (Names{"k101", "big"}));
    // Files past 2 GiB keep their real size rather than wrapping negative.
    EXPECT_EQ(Keep(Size(kb::cmpGreater, 4'000'000), listing), (Names{"big"}));
}

TEST(DateCondition, AgeCountsWholeDaysFromTodaysMidnight) {
    const double midnight = kb::EncodeDays(2026, 3, 10, 0, 0, 0);
    const double now = midnight + 0.75;  // 18:00
    std::vector<filerec> listing{
        {"today", 0, midnight + 0.1},
        {"yesterdayEvening", 0, midnight - 0.2},
        {"yesterdayMidnight", 0, midnight - 1.0},
        {"dayBefore", 0, midnight - 1.5},
        {"tomorrowMorning", 0, midnight + 1.3},
        {"inThreeDays", 0, midnight + 3.5},
    };
    EXPECT_EQ(Keep(Days(kb::cmpGreater, 0), listing, now),
              (Names{"yesterdayMidnight", "dayBefore"}));
    EXPECT_EQ(Keep(Days(kb::cmpLess, 1), listing, now),
              (Names{"today", "yesterdayEvening", "tomorrowMorning", "inThreeDays"}));
    // Later today (in the future by less than a day) is 0 days old.
    EXPECT_EQ(kb::AgeInDays(midnight + 0.9, now), 0);
    EXPECT_EQ(kb::AgeInDays(midnight + 1.3, now), -1);
    EXPECT_EQ(kb::AgeInDays(midnight + 3.5, now), -3);
    EXPECT_EQ(kb::AgeInDays(midnight - 1.5, now), 1);
}

TEST(ComparisonCodes, UnknownCodeSelectsNothing) {
    std::vector<filerec> listing{{"a", 5000, 1.0}, {"b", 0, 2.0}};
    EXPECT_TRUE(Keep(Size(1, 1), listing).empty());
    EXPECT_TRUE(Keep(Days(7, 0), listing, 10.0).empty());
}

TEST(RankedCondition, NewestAndOldestRankTheWholeListing) {
    std::vector<filerec> listing{{"d5", 0, 5}, {"d1", 0, 1}, {"d3", 0, 3}, {"d10", 0, 10}};
    EXPECT_EQ(Keep(Ranked(true, 2), listing), (Names{"d5", "d10"}));
    EXPECT_EQ(Keep(Ranked(false, 2), listing), (Names{"d1", "d3"}));

    // Candidates are a subset; the ranking still covers every file.
    std::vector<std::uint32_t> cand{1, 2};  // d1, d3
    kb::ApplyCondition(Ranked(true, 2), cand, listing, 0);
    EXPECT_TRUE(cand.empty());
    cand = {0, 1, 2};
    kb::ApplyCondition(Ranked(true, 3), cand, listing, 0);
    EXPECT_EQ(cand, (std::vector<std::uint32_t>{0, 2}));
}

TEST(RankedCondition, TiesKeepListingOrder) {
    std::vector<filerec> listing{{"old", 0, 1.0}, {"first", 0, 7.5}, {"second", 0, 7.5}};
    EXPECT_EQ(Keep(Ranked(true, 3), listing), (Names{"old", "first", "second"}));
    EXPECT_EQ(Keep(Ranked(true, 1), listing), (Names{"first"}));
    EXPECT_EQ(Keep(Ranked(true, 2), listing), (Names{"first", "second"}));
    EXPECT_EQ(Keep(Ranked(false, 2), listing), (Names{"old", "first"}));

    // A big listing of equal dates: the first N listed are the newest N.
    std::vector<filerec> same;
    for (int i = 0; i < 1000; ++i) same.push_back(filerec{std::to_string(i), 0, 3.0});
    const auto kept = Keep(Ranked(true, 10), same);
    ASSERT_EQ(kept.size(), 10u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(kept[i], std::to_string(i));
}

TEST(RankedCondition, CountsAtTheEdges) {
    std::vector<filerec> listing{{"a", 0, 1}, {"b", 0, 2}};
    EXPECT_EQ(Keep(Ranked(true, 2), listing), (Names{"a", "b"}));
    EXPECT_EQ(Keep(Ranked(false, 99), listing), (Names{"a", "b"}));
    EXPECT_TRUE(Keep(Ranked(true, 0), listing).empty());
    // -1 is a count never entered: it selects nothing and reads nothing out of range.
    EXPECT_TRUE(Keep(Ranked(true, -1), listing).empty());
    EXPECT_TRUE(Keep(Ranked(false, -1000), listing).empty());
}

}  // namespace
