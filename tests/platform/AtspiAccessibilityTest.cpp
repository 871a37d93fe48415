// The AT-SPI side of browser addresses that needs no browser: how AT-SPI
// roles and states read as MSAA ones, the call budget, and a desktop without
// an accessibility bus. Real browsers are read in tests/e2e/browser_e2e.sh.
#include "platform/linux/AtspiAccessibility.h"

#include <atspi/atspi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include "platform/Accessibility.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

TEST(MsaaRoleTest, MapsAsTheAddressWalkExpects) {
    const struct {
        AtspiRole role;
        bool editable;
        bool singleLine;
        int32_t msaaRole;
    } cases[] = {
        // Chromium's address field, and Firefox's, which AT-SPI calls a combo box.
        {ATSPI_ROLE_ENTRY, true, true, kRoleSystemText},
        {ATSPI_ROLE_COMBO_BOX, true, true, kRoleSystemText},
        // A drop-down list that takes no typing stays a combo box.
        {ATSPI_ROLE_COMBO_BOX, false, true, 46},
        {ATSPI_ROLE_COMBO_BOX, true, false, 46},
        // Text is text, editable or not; editable states make no text field of other roles.
        {ATSPI_ROLE_ENTRY, false, true, kRoleSystemText},
        {ATSPI_ROLE_TEXT, true, false, kRoleSystemText},
        {ATSPI_ROLE_SPIN_BUTTON, true, true, 52},
        {ATSPI_ROLE_DOCUMENT_WEB, true, true, 15},
        {ATSPI_ROLE_FRAME, false, false, 9},
        {ATSPI_ROLE_SECTION, false, false, 20},
        {ATSPI_ROLE_PANEL, false, false, 20},
        {ATSPI_ROLE_UNKNOWN, true, true, 10},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MsaaRoleFromAtspi(c.role, c.editable, c.singleLine), c.msaaRole) << c.role;
}

struct StateCase {
    const char* what;
    std::set<int> states;
    int32_t bits;
};

void PrintTo(const StateCase& c, std::ostream* out) {
    *out << c.what;
}

class MsaaStateTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(MsaaStateTest, MapsToMsaaBits) {
    EXPECT_EQ(MsaaStateFromAtspi(GetParam().states), GetParam().bits) << GetParam().what;
}

const std::set<int> kShownField = {
    ATSPI_STATE_ENABLED,  ATSPI_STATE_SENSITIVE,   ATSPI_STATE_SHOWING,  ATSPI_STATE_VISIBLE,
    ATSPI_STATE_EDITABLE, ATSPI_STATE_SINGLE_LINE, ATSPI_STATE_FOCUSABLE};

std::set<int> With(std::set<int> states, std::initializer_list<int> more) {
    states.insert(more);
    return states;
}

INSTANTIATE_TEST_SUITE_P(
    States, MsaaStateTest,
    ::testing::Values(
        // A shown, usable field is just focusable: no bit for being there.
        StateCase{"shown field", kShownField, kStateSystemFocusable},
        StateCase{"focused field", With(kShownField, {ATSPI_STATE_FOCUSED}),
                  kStateSystemFocusable | kStateSystemFocused},
        StateCase{"disabled", {ATSPI_STATE_SHOWING, ATSPI_STATE_VISIBLE}, 0x1},
        StateCase{"hidden", {ATSPI_STATE_ENABLED}, 0x8000},
        StateCase{"scrolled away", {ATSPI_STATE_ENABLED, ATSPI_STATE_VISIBLE}, 0x10000},
        StateCase{
            "checked button",
            {ATSPI_STATE_ENABLED, ATSPI_STATE_SHOWING, ATSPI_STATE_CHECKED, ATSPI_STATE_FOCUSABLE},
            0x10 | kStateSystemFocusable},
        StateCase{"closed menu",
                  {ATSPI_STATE_ENABLED, ATSPI_STATE_SHOWING, ATSPI_STATE_EXPANDABLE,
                   ATSPI_STATE_HAS_POPUP},
                  0x400 | 0x40000000}),
    [](const auto& tp) { return test::CaseName(tp.param.what); });

// Nothing in AT-SPI says hot-tracked, so Opera's exact state never appears:
// a field focused or not gives other bits.
TEST(MsaaStateTest, NoSetGivesTheOperaAddressState) {
    for (const auto& states : {kShownField, With(kShownField, {ATSPI_STATE_FOCUSED}),
                               With(kShownField, {ATSPI_STATE_SELECTABLE})}) {
        EXPECT_NE(MsaaStateFromAtspi(states), kStateSystemFocusable | kStateSystemHotTracked);
    }
}

TEST(AtspiCallBudgetTest, RunsOutAndCanBeSpent) {
    AtspiCallBudget budget(1000);
    EXPECT_GT(budget.RemainingMs(), 900);
    EXPECT_FALSE(budget.Spent());
    budget.Spend();
    EXPECT_EQ(budget.RemainingMs(), 0);
    EXPECT_TRUE(budget.Spent());

    AtspiCallBudget shortBudget(20);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(shortBudget.Spent());
    EXPECT_EQ(AtspiCallBudget(0).RemainingMs(), 0);
}

// Without a session bus nothing may block, abort or pretend: every window
// simply has no accessible frame. (libatspi ends the program when its calls
// run without a bus, so this also checks they are never made.)
TEST(AtspiBrowsersTest, WithoutAnAccessibilityBusFindsNothingAtOnce) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    ::unsetenv("AT_SPI_BUS_ADDRESS");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(EnableAccessibilityBus(200));
    AtspiBrowsers browsers;
    EXPECT_EQ(browsers.FrameObject(0x400003, 4242, "Page - Mozilla Firefox", [] { return true; }),
              nullptr);
    EXPECT_EQ(browsers.AddressFieldText(0x600002, 4243, "Page - Chromium", nullptr, 1000),
              std::nullopt);
    EXPECT_FALSE(browsers.Available());
    EXPECT_EQ(browsers.CachedWindows(), 0u);
    browsers.KeepOnly({});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace tw
