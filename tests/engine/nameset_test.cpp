#include "engine/nameset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(NameSet, FindsExactlyTheInsertedNamesAcrossGrowth) {
    std::vector<std::string> names;
    for (int i = 0; i < 5000; ++i) names.push_back("file " + std::to_string(i) + ".mp3");
    kb::NameSet set(10);  // far too small: must grow and keep every name
    for (const auto& n : names) set.Insert(n);
    for (const auto& n : names) EXPECT_TRUE(set.Contains(n)) << n;
    EXPECT_FALSE(set.Contains("file 5000.mp3"));
    EXPECT_FALSE(set.Contains("FILE 1.mp3"));  // byte for byte
    EXPECT_FALSE(set.Contains("file 1.mp3 "));
    EXPECT_FALSE(set.Contains(""));
    set.Insert("");
    EXPECT_TRUE(set.Contains(""));
    set.Insert(names[0]);  // a repeat changes nothing
    EXPECT_TRUE(set.Contains(names[0]));
}

}  // namespace
