#include "platform/Power.h"

#include <gtest/gtest.h>

#include "platform/fake/FakePower.h"

namespace tw {
namespace {

TEST(PowerTest, FakeRecordsAcceptedRequestsAndRaisesWhenToldTo) {
    FakePower power;
    ShutdownComputer(power, 60);
    ShutdownComputer(power, 0);
    EXPECT_EQ(power.Requests(), (std::vector<int>{60, 0}));

    power.FailWith(13, "System Error.  Code: 13.\nrefused");
    try {
        ShutdownComputer(power, 60);
        ADD_FAILURE() << "a refused shutdown must raise";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), 13);
        EXPECT_STREQ(e.what(), "System Error.  Code: 13.\nrefused");
        EXPECT_STREQ(e.ClassName(), "EOSError");
    }
    EXPECT_EQ(power.Requests().size(), 2u);
    EXPECT_EQ(power.RefusedCount(), 1);

    power.Succeed();
    ShutdownComputer(power, 5);
    EXPECT_EQ(power.Requests().back(), 5);
}

TEST(PowerTest, NegativeCountdownIsAProgrammingError) {
    FakePower power;
    EXPECT_THROW(ShutdownComputer(power, -1), EAssertionFailed);
    EXPECT_TRUE(power.Requests().empty());
}

}  // namespace
}  // namespace tw
