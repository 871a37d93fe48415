#include "platform/Power.h"

#include <gtest/gtest.h>

#include "platform/fake/FakePower.h"

namespace tw {
namespace {

TEST(PowerTest, FakeRecordsAcceptedRequestsAndRaisesWhenToldTo) {
    FakePower power;
    EXPECT_THROW(ShutdownComputer(power, -1), EAssertionFailed);
    ShutdownComputer(power, 60);
    power.FailWith(13, "System Error.  Code: 13.\nrefused");
    try {
        ShutdownComputer(power, 0);
        ADD_FAILURE() << "a refused shutdown must raise";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), 13);
        EXPECT_STREQ(e.what(), "System Error.  Code: 13.\nrefused");
    }
    EXPECT_EQ(power.RefusedCount(), 1);
    power.Succeed();
    ShutdownComputer(power, 5);
    EXPECT_EQ(power.Requests(), (std::vector<int>{60, 5}));  // the refused one is not recorded
}

}  // namespace
}  // namespace tw
