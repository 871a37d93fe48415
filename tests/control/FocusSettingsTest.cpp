// "Block Mode", answered through the modal hook.
#include "control/FocusSettingsFRM.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QLabel>
#include <QLineEdit>

#include "base/Exceptions.h"
#include "control/FocusMode.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/ImageControls.h"
#include "ui/UiTestSupport.h"

namespace tw {
namespace {

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

class FocusSettingsTest : public test::UiTest {
protected:
    FakeDiscovery fake;
    TAppDiscovery discovery{fake};
};

TEST_F(FocusSettingsTest, AcceptsOneMinuteUpTo2359AndWritesThePeriodOnlyOnOk) {
    struct Case {
        const char* typed;
        bool ok;  // closed with OK, else refused and then cancelled
        std::vector<std::string> notices;
        TDateTime period;  // afterwards; -1 untouched
    };
    const Case cases[] = {
        {"00:01", true, {}, kMinFocusPeriod},
        {"23:59", true, {}, kMaxFocusPeriod},
        {"00:00", false, {"Please Note: Limit can't be empty"}, -1},
        {"24:00", false, {"Please Note: '24:00' is not a valid time"}, -1},
        {"01:30", false, {}, -1},  // typed, then Cancel
    };
    // One window for all: each opening starts again at 00:00.
    TfrmFocusSettings window(Options(), discovery);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        notices.clear();
        QString opened;
        bool openAfterOk = false;
        OnModal([&](TfrmBase& shown) {
            auto& w = dynamic_cast<TfrmFocusSettings&>(shown);
            opened = w.medTimeLimit->text();
            w.medTimeLimit->setText(QString::fromLatin1(c.typed));
            if (!c.notices.empty()) {
                Click(w.btnOk);
                openAfterOk = w.isVisible();
            }
            Click(c.ok ? w.btnOk : w.btnCancel);
        });
        TMonitoredList collecting;
        TDateTime period = -1;
        EXPECT_EQ(window.Execute(period, &collecting), c.ok);
        EXPECT_EQ(opened, QStringLiteral("00:00"));
        EXPECT_EQ(notices, c.notices);
        EXPECT_EQ(openAfterOk, !c.notices.empty());
        EXPECT_DOUBLE_EQ(period, c.period);
    }
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Block Mode"));
    EXPECT_EQ(window.lblCaption->text(), QStringLiteral("Block Mode"));
}

TEST_F(FocusSettingsTest, RequiresTheCollectingList) {
    TfrmFocusSettings window(Options(), discovery);
    OnModal([](TfrmBase& shown) { shown.reject(); });
    TDateTime period = 0;
    try {
        window.Execute(period, nullptr);
        ADD_FAILURE() << "no assertion failure";
    } catch (const EAssertionFailed& e) {
        EXPECT_STREQ(e.what(), "Assertion failure (FocusSettingsFRM)");
    }
}

TEST_F(FocusSettingsTest, YourListOpensTheWizardIntoTheCollectingListWhenAccessIsGiven) {
    auto listed = std::make_unique<TMonitoredItem>();
    listed->ItemType = mitWebSite;
    listed->Name = "news.example.org";
    listed->Caption = "News";
    Options().MonitoredList().Add("News", std::move(listed));

    for (bool access : {false, true}) {
        SCOPED_TRACE(access);
        int checks = 0, wizards = 0;
        QRect link, words;
        OnModal([&](TfrmBase& shown) {
            if (auto* wizard = dynamic_cast<TfrmAppSiteAddWizard*>(&shown)) {
                ++wizards;
                wizard->edURL->setText(QStringLiteral("video.example.com"));
                Click(wizard->btnAdd);
                Click(wizard->btnSites_Cancel);
                return;
            }
            auto& w = dynamic_cast<TfrmFocusSettings&>(shown);
            link = w.lblAppWizardLink->geometry();
            words = w.lblTimeLimit->geometry();
            Click(w.lblAppWizardLink);
            Click(w.btnCancel);
        });
        TfrmFocusSettings window(Options(), discovery, [&] {
            ++checks;
            return access;
        });
        TMonitoredList collecting;
        TDateTime period = -1;
        EXPECT_FALSE(window.Execute(period, &collecting));
        EXPECT_EQ(checks, 1);
        EXPECT_EQ(wizards, access ? 1 : 0);
        // The wizard's result, the list as given plus the new site; the
        // time-limit list itself is the caller's to change.
        EXPECT_EQ(collecting.IndexOfName("video.example.com") >= 0, access);
        EXPECT_EQ(collecting.IndexOfName("news.example.org") >= 0, access);
        EXPECT_EQ(Options().MonitoredList().Count(), 1);
        EXPECT_DOUBLE_EQ(period, -1);
        // The link lies over words inside "on your list for ", not at either end.
        EXPECT_GT(link.left(), words.left());
        EXPECT_LT(link.right(), words.right());
        EXPECT_EQ(link.top(), words.top());
    }
}

}  // namespace
}  // namespace tw
