#include "store/servicetable.h"

#include <gtest/gtest.h>

namespace kb {
namespace {

TEST(ServiceTable, BuiltInNetworksInFixedOrderWithTheirMasks) {
    ServiceStore store;
    store.InitServiceTable([](std::uint8_t id) { return "/share/" + std::to_string(id); });
    ASSERT_EQ(store.ServiceCount(), 6);
    EXPECT_EQ(store.CustomCount(), 0);
    const std::uint8_t ids[] = {0, 1, 2, 3, 4, 6};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(store.ServiceTable[i].serviceid, ids[i]);
        EXPECT_FALSE(store.ServiceTable[i].enabled);
        EXPECT_EQ(store.ServiceTable[i].rulelist.rulecnt(), 0);
    }
    EXPECT_EQ(store.ServiceTable[3].excludefiles, "*.txt;*.dat;*.tmp;*.dll;*.exe;*.dll;*.ico;*.");
    EXPECT_EQ(store.ServiceTable[0].excludefiles, "kazaa*;*.dat");
    EXPECT_EQ(store.ServiceTable[5].excludefiles, "limewire*");
    // Only the four clients with recorded settings get a discovered directory.
    EXPECT_EQ(store.ServiceTable[0].sharedir, "/share/0");
    EXPECT_EQ(store.ServiceTable[4].sharedir, "/share/4");
    EXPECT_EQ(store.ServiceTable[3].sharedir, "");
    EXPECT_EQ(store.ServiceTable[5].sharedir, "");
    EXPECT_EQ(store.FindNetwork(sidLimeWire), 5);
    EXPECT_EQ(store.FindNetwork(sidOther), -1);
}

TEST(ServiceTable, DeletingAnAdditionalServiceRenumbersTheLaterOnes) {
    ServiceStore store;
    store.InitServiceTable({});
    store.AppendAdditional("A", "/a", "");
    store.AppendAdditional("B", "/b", "");
    const int c = store.AppendAdditional("C", "/c", "*.tmp");
    EXPECT_EQ(c, 8);
    EXPECT_EQ(store.ServiceTable[c].othernum, 3);
    EXPECT_EQ(store.CustomCount(), 3);
    const std::uint64_t uidC = store.ServiceTable[c].uid;

    ASSERT_TRUE(store.DeleteService(store.FindAdditional(1)));
    EXPECT_EQ(store.CustomCount(), 2);
    EXPECT_EQ(store.ServiceCount(), 8);
    EXPECT_EQ(store.ServiceTable[store.FindAdditional(1)].othername, "B");
    EXPECT_EQ(store.ServiceTable[store.FindAdditional(2)].othername, "C");
    EXPECT_EQ(store.FindAdditional(3), -1);
    // Identity survives the shift.
    EXPECT_EQ(store.FindByUid(uidC), 7);
    EXPECT_FALSE(store.DeleteService(8));
    EXPECT_FALSE(store.DeleteService(-1));
}

TEST(ServiceTable, RecordCopiesAreDeep) {
    RuleRec a;
    a.rulename = "r";
    a.conds.push_back(ruleacondrec{});
    a.conds[0].fileext.ext = "mp3";
    RuleRec b = a;
    b.conds[0].fileext.ext = "ogg";
    b.actions.push_back(ruleactionrec{});
    EXPECT_EQ(a.conds[0].fileext.ext, "mp3");
    EXPECT_EQ(a.actioncnt(), 0);
    EXPECT_EQ(b.actioncnt(), 1);
}

}  // namespace
}  // namespace kb
