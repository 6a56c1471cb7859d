#include "platform/errortext.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

TEST(ErrorText, SaysWhatTheNumberMeansOnEveryThread) {
    EXPECT_EQ(kb::ErrorText(ENOENT), "No such file or directory");
    std::string there;
    std::thread([&] { there = kb::ErrorText(EACCES); }).join();
    EXPECT_EQ(there, "Permission denied");
    EXPECT_FALSE(kb::ErrorText(99999).empty());
}
