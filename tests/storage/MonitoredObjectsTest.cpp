#include "storage/MonitoredObjects.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

std::unique_ptr<TMonitoredItem> Item(TMonitoredItemType type, std::string name,
                                     std::string caption = {}, bool active = true) {
    auto item = std::make_unique<TMonitoredItem>();
    item->ItemType = type;
    item->Name = std::move(name);
    item->Caption = caption.empty() ? item->Name : std::move(caption);
    item->Active = active;
    return item;
}

void AddTo(TMonitoredList& list, std::unique_ptr<TMonitoredItem> item) {
    const std::string caption = item->Caption;
    list.Add(caption, std::move(item));
}

struct AddressCase {
    const char* key;
    const char* address;
    bool matches;
};

void PrintTo(const AddressCase& c, std::ostream* out) {
    *out << "'" << c.key << "' in '" << c.address << "'";
}

class AddressMatchesTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressMatchesTest, FollowsTheHostRule) {
    const AddressCase& c = GetParam();
    EXPECT_EQ(AddressMatches(c.key, c.address), c.matches) << c.key << " in " << c.address;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressMatchesTest,
    ::testing::Values(AddressCase{"example.com", "https://www.example.com/page", true},
                      AddressCase{"example.com", "https://www.example.org/?u=example.com", false},
                      AddressCase{"example.com", "https://www.example.org/example.com", false},
                      AddressCase{"example.com", "mail.example.com/inbox", true},
                      AddressCase{"example.com", "search.example.org/?q=example.com", false},
                      AddressCase{"example.com", "example.org?u=example.com", false},  // no "/"
                      AddressCase{"Example.com", "example.com", false},
                      AddressCase{"http://www.example.com", "example.com/x", true},
                      AddressCase{"  example.com\t", "\nexample.com ", true},
                      // "www." is cut wherever it stands, not only at the start.
                      AddressCase{"example.com", "https://mywww.example.com", true},
                      AddressCase{"", "example.com", false},
                      AddressCase{"   ", "example.com", false},
                      AddressCase{"example.com", "", false}),
    // Numbered: blank keys of different blanks would read alike.
    [](const auto& tp) {
        return std::to_string(tp.index) + "_" +
               test::CaseName(std::string(tp.param.key) + " in " + tp.param.address);
    });

TEST(NormalizeAddressTest, StripsSchemeThenWww) {
    EXPECT_EQ(NormalizeAddress("https://www.example.com/a"), "example.com/a");
    EXPECT_EQ(NormalizeAddress("ftp://files.example.com"), "files.example.com");
    EXPECT_EQ(NormalizeAddress("a://b://c"), "b://c");
    EXPECT_EQ(StripWww("www.www.example.com"), "www.example.com");
}

// Which entry a foreground program and address match, and as what (1 program, 2 site).
TEST(MatchTest, WebMatchWinsAndFirstWebLastApplicationMatchCount) {
    TMonitoredList l;
    uint8_t kind = 99;
    EXPECT_EQ(l.Match("/usr/bin/x", "example.com", kind), -1);
    EXPECT_EQ(kind, 1);
    AddTo(l, Item(mitApplication, "/usr/bin/app", "A app"));
    AddTo(l, Item(mitWebSite, "mail.example.com", "B site"));
    AddTo(l, Item(mitWebSite, "example.com", "C site"));
    AddTo(l, Item(mitApplication, "/USR/BIN/APP", "D app"));
    AddTo(l, Item(mitWebSite, " ", "E blank"));
    // A "web site" entry holding a path still matches by path, and inactive entries count.
    AddTo(l, Item(mitWebSite, "/usr/bin/odd", "F odd", /*active=*/false));
    AddTo(l, Item(mitWebSite, "news.example.com", "G news"));
    const struct {
        const char *app, *address;
        int index;
        uint8_t kind;
    } cases[] = {
        {"/usr/bin/app", "https://mail.example.com/", 1, 2},
        // The first listed site wins, not the last nor the longest key.
        {"/usr/bin/none", "https://news.example.com/today", 2, 2},
        {"/usr/bin/app", "https://other.org/", 3, 1},
        {"/usr/bin/odd", "", 5, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(l.Match(c.app, c.address, kind), c.index) << c.address;
        EXPECT_EQ(kind, c.kind) << c.address;
    }
    for (const char* address : {"", "   ", "\t\r\n"}) {  // blank never matches a site
        EXPECT_EQ(l.Match("/usr/bin/none", address, kind), -1) << '"' << address << '"';
    }
}

TEST(MonitoredListTest, KeepsCaptionOrderWithNewDuplicatesInFront) {
    TMonitoredList list;
    AddTo(list, Item(mitWebSite, "b.com", "beta"));
    AddTo(list, Item(mitWebSite, "a.com", "Alpha"));
    AddTo(list, Item(mitWebSite, "first.com", "Same"));
    AddTo(list, Item(mitWebSite, "second.com", "same"));
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Captions(0), "Alpha");
    EXPECT_EQ(list.Captions(1), "beta");
    EXPECT_EQ(list.Items(2)->Name, "second.com");
    EXPECT_EQ(list.Items(3)->Name, "first.com");
}

TEST(MonitoredListTest, PreconditionsRaiseAssertionFailure) {
    TMonitoredList list;
    int index = 0;
    EXPECT_THROW(list.Add("x", nullptr), EAssertionFailed);
    EXPECT_THROW(list.Delete(-1), EAssertionFailed);
    EXPECT_THROW(list.Items(0), EAssertionFailed);
    EXPECT_THROW(list.CheckItem(nullptr, index), EAssertionFailed);
    EXPECT_THROW(list.AddMissing(nullptr, ""), EAssertionFailed);
    EXPECT_THROW(list.AssignFrom(nullptr, mitAll, ""), EAssertionFailed);
}

TEST(MonitoredListTest, CheckItemReportsEveryStatus) {
    TMonitoredList list;
    AddTo(list, Item(mitApplication, "/usr/bin/checked"));
    AddTo(list, Item(mitApplication, "/usr/bin/unchecked"));
    AddTo(list, Item(mitApplication, "/usr/bin/inactive", "", false));
    list.Items(list.IndexOfName("/usr/bin/checked"))->Checked = true;
    list.Items(list.IndexOfName("/usr/bin/inactive"))->Checked = true;

    int index = -7;
    auto probe = Item(mitApplication, ProgramFilePath());
    EXPECT_EQ(list.CheckItem(probe.get(), index), csSelf);
    EXPECT_EQ(index, -7);  // not set for the program itself

    const std::pair<const char*, TMonitoredCheckStatus> cases[] = {
        {"/usr/bin/none", csNotListed},
        {"/USR/BIN/CHECKED", csListedChecked},
        {"/usr/bin/unchecked", csListedUnchecked},
        {"/usr/bin/inactive", csListedInactive},
    };
    for (const auto& [name, status] : cases) {
        probe->Name = name;
        EXPECT_EQ(list.CheckItem(probe.get(), index), status) << name;
        EXPECT_EQ(index, list.IndexOfName(name)) << name;
    }
}

TEST(MonitoredListTest, AddMissingSkipsKnownNamesAndFilters) {
    TMonitoredList source;
    AddTo(source, Item(mitApplication, "/usr/bin/notepad", "Notepad"));
    AddTo(source, Item(mitApplication, "/usr/bin/gedit", "Text Editor"));
    AddTo(source, Item(mitWebSite, "news.com", "NEWS Notes"));
    TMonitoredList target;
    AddTo(target, Item(mitApplication, "/USR/BIN/NOTEPAD", "Mine"));

    target.AddMissing(&source, "NOTE");
    ASSERT_EQ(target.Count(), 2);  // Notepad already there by name; Text Editor filtered out
    EXPECT_EQ(target.Items(target.IndexOfName("news.com"))->Caption, "NEWS Notes");
    target.AddMissing(&source, "");
    EXPECT_EQ(target.Count(), 3);
    target.AddMissing(&target, "");
    EXPECT_EQ(target.Count(), 3);

    // The copies are independent of the source.
    source.Items(source.IndexOfName("news.com"))->Caption = "changed";
    EXPECT_EQ(target.Items(target.IndexOfName("news.com"))->Caption, "NEWS Notes");
}

TEST(MonitoredListTest, AssignFromCopiesByTypeAndFilterWithoutDuplicateCheck) {
    TMonitoredList source;
    AddTo(source, Item(mitApplication, "/a", "App one"));
    AddTo(source, Item(mitApplication, "/a", "App two"));
    AddTo(source, Item(mitWebSite, "w.com", "Web one"));
    TMonitoredList target;
    AddTo(target, Item(mitWebSite, "old.com"));

    target.AssignFrom(&source, mitAll, "");
    EXPECT_EQ(target.Count(), 3);
    target.AssignFrom(&source, mitApplication, "");
    EXPECT_EQ(target.Count(), 2);
    target.AssignFrom(&source, mitAll, "one");
    EXPECT_EQ(target.Count(), 2);
    target.AssignFrom(&target, mitWebSite, "");
    ASSERT_EQ(target.Count(), 1);
    EXPECT_EQ(target.Items(0)->Name, "w.com");
}

TEST(MonitoredListTest, DeleteInactiveRemovesOnlyInactive) {
    TMonitoredList list;
    AddTo(list, Item(mitApplication, "/a", "a", false));
    AddTo(list, Item(mitApplication, "/b", "b", true));
    AddTo(list, Item(mitApplication, "/c", "c", false));
    list.DeleteInactive();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items(0)->Name, "/b");
    list.Items(0)->Active = false;
    list.DeleteInactive();
    EXPECT_EQ(list.Count(), 0);
}

TEST(MonitoredListTest, AddApplicationsFromStringsSplitsAtFirstEqualsAndSkipsKnown) {
    TMonitoredList list;
    AddTo(list, Item(mitApplication, "/usr/bin/known", "Known"));
    AddApplicationsFromStrings(
        {"/usr/bin/new=New = App", "/USR/BIN/KNOWN=Again", "no equals sign", "/usr/bin/new=Dup"},
        list);
    ASSERT_EQ(list.Count(), 3);
    const TMonitoredItem* added = list.Items(list.IndexOfName("/usr/bin/new"));
    EXPECT_EQ(added->Caption, "New = App");
    EXPECT_EQ(added->ItemType, mitApplication);
    EXPECT_TRUE(added->Active);
    const TMonitoredItem* odd = list.Items(list.IndexOfName(""));
    EXPECT_EQ(odd->Caption, "no equals sign");
}

class RecordingListBox : public TListBoxItems {
public:
    void BeginUpdate() override { ++depth; }
    void EndUpdate() override { --depth; }
    void Clear() override { rows.clear(); }
    void SetCapacity(int) override {}
    void AddItem(const std::string& caption, TMonitoredItem* item) override {
        EXPECT_EQ(depth, 1);
        rows.emplace_back(caption, item);
    }
    int depth = 0;
    std::vector<std::pair<std::string, TMonitoredItem*>> rows{{"stale", nullptr}};
};

TEST(FillListBoxTest, ShowsOneTypeButUnchecksEveryInactiveEntry) {
    TMonitoredList list;
    AddTo(list, Item(mitApplication, "/a", "App", false));
    AddTo(list, Item(mitWebSite, "w.com", "Web", false));
    AddTo(list, Item(mitWebSite, "v.com", "Web active"));
    for (int i = 0; i < list.Count(); ++i)
        list.Items(i)->Checked = true;

    RecordingListBox box;
    FillListBox(box, list, mitWebSite);
    EXPECT_EQ(box.depth, 0);
    ASSERT_EQ(box.rows.size(), 2u);
    EXPECT_EQ(box.rows[0].second, list.Items(list.IndexOfName("w.com")));  // the item itself
    EXPECT_FALSE(list.Items(list.IndexOfName("/a"))->Checked);
    EXPECT_FALSE(list.Items(list.IndexOfName("w.com"))->Checked);
    EXPECT_TRUE(list.Items(list.IndexOfName("v.com"))->Checked);
}

TEST(MonitoredItemTest, DurationReadsAsAFractionOfADay) {
    TMonitoredItem item;
    item.Duration = 5400;
    EXPECT_DOUBLE_EQ(item.DurationAsTime(), 1.5 / 24);
}

}  // namespace
}  // namespace tw
