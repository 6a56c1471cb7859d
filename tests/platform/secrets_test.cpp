// The secret store through a real one: gnome-keyring-daemon on a private
// session bus (tests/platform/with-keyring.sh starts both and sets
// KB_TEST_SECRET_STORE). Without it these tests are skipped.
#include "platform/secrets.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

#ifndef _WIN32
bool InKeyringRun() { return std::getenv("KB_TEST_SECRET_STORE") != nullptr; }
#endif

TEST(Secrets, APasswordIsStoredFoundByItsLoginOnlyAndCleared) {
#ifndef _WIN32
    if (!InKeyringRun()) GTEST_SKIP() << "run by with-keyring.sh";
#endif
    ASSERT_TRUE(kb::SecretStoreAvailable());
    const kb::SecretKey key{"files.example.org", 2121, "me"};
    const std::string password = "pass word with \"quotes\" and ünïcode";
    const kb::Status st = kb::StoreSecret(key, password);
    ASSERT_TRUE(st.ok) << st.error;
    EXPECT_EQ(kb::LookupSecret(key).value_or("(none)"), password);

    // Another port or user is another login.
    std::string why;
    EXPECT_FALSE(kb::LookupSecret({"files.example.org", 21, "me"}, &why));
    EXPECT_NE(why.find("no password is stored"), std::string::npos) << why;
    EXPECT_FALSE(kb::LookupSecret({"files.example.org", 2121, "you"}));

    ASSERT_TRUE(kb::StoreSecret(key, "changed").ok);
    EXPECT_EQ(kb::LookupSecret(key).value_or("(none)"), "changed");
    ASSERT_TRUE(kb::ClearSecret(key).ok);
    EXPECT_FALSE(kb::LookupSecret(key));
}

#ifndef _WIN32
TEST(Secrets, WithoutASessionBusThereIsNone) {
    if (InKeyringRun()) GTEST_SKIP() << "this run has one";
    if (std::getenv("DBUS_SESSION_BUS_ADDRESS")) GTEST_SKIP() << "this machine has a session bus";
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_FALSE(kb::SecretStoreAvailable());
}
#endif

}  // namespace
