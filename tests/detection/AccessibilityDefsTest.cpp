#include "detection/AccessibilityDefs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "detection/LogCapture.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/fake/FakeDesktop.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// A walk over these small trees ends at once; one that loops fails its case
// after this long instead of hanging the run.
constexpr std::chrono::seconds kWalkLimit{10};

// A node the recording callback knows by its value.
FakeAccessiblePtr Node(std::string label) {
    return Acc()->Value(std::move(label));
}

// ---- The walk: which objects the callback sees, at which depth ----

struct Visit {
    std::string label;
    int depth;
    bool operator==(const Visit&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Visit& v) {
    return out << v.label << "@" << v.depth;
}

struct Recorder {
    std::vector<Visit> visits;
    std::string stopAt;
};

// No tree here has this many objects: a walk that goes round in circles is
// stopped, and its case fails on the visits it made.
constexpr size_t kMaxVisits = 1000;

bool Record(Accessible& object, void* data, int depth) {
    auto& recorder = *static_cast<Recorder*>(data);
    const std::string label = object.Value().value;
    recorder.visits.push_back({label, depth});
    return label != recorder.stopAt && recorder.visits.size() < kMaxVisits;
}

// Walks the tree of a window whose object is `root`.
void Walk(Recorder& recorder, FakeAccessiblePtr root, int maxDepth = 4) {
    test::CaseDeadline deadline(kWalkLimit);
    FakeDesktop desktop;
    const WindowHandle window = desktop.AddWindow("x").Accessible(std::move(root)).Handle();
    EnumWindowAccessibleInfo(desktop, window, Record, &recorder, maxDepth);
}

// r -> (a -> a1), b
FakeAccessiblePtr SmallTree() {
    return Node("r")->Add(Node("a")->Add(Node("a1")))->Add(Node("b"));
}

struct WalkCase {
    const char* name;
    std::function<FakeAccessiblePtr()> tree;
    std::vector<Visit> expected;
    const char* stopAt = "";
    int maxDepth = 4;
};

void PrintTo(const WalkCase& c, std::ostream* out) {
    *out << c.name;
}

class WalkTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(WalkTest, ReportsObjectsAtTheirDepth) {
    const WalkCase& c = GetParam();
    Recorder recorder{{}, c.stopAt};
    Walk(recorder, c.tree(), c.maxDepth);
    EXPECT_EQ(recorder.visits, c.expected);
}

// A chain d0 -> d1 -> ... of `length` objects below d0, `leaf` below the last.
FakeAccessiblePtr Chain(int length, FakeAccessiblePtr leaf = nullptr) {
    FakeAccessiblePtr root = Node("d0");
    FakeAccessiblePtr node = root;
    for (int depth = 1; depth <= length; ++depth) {
        FakeAccessiblePtr child = Node("d" + std::to_string(depth));
        node->Add(child);
        node = child;
    }
    if (leaf) {
        node->Add(std::move(leaf));
    }
    return root;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WalkTest,
    ::testing::Values(
        WalkCase{"ChildArrayDepthFirst", SmallTree, {{"r", 0}, {"a", 1}, {"a1", 2}, {"b", 1}}},
        WalkCase{"StopsAtMaxDepth",
                 [] { return Chain(6); },
                 {{"d0", 0}, {"d1", 1}, {"d2", 2}, {"d3", 3}, {"d4", 4}},
                 "",
                 4},
        WalkCase{"ChildIdResolvedThroughParent",
                 [] { return Node("r")->AddChildId(1, Node("one"))->AddChildId(2); },
                 {{"r", 0}, {"one", 1}}},
        WalkCase{"NonAccessibleAndEmptyElementsSkipped",
                 [] {
                     return Node("r")
                         ->AddElement(AccVariant::NonAccessible(7))
                         ->AddElement(AccVariant::Empty())
                         ->AddElement(AccVariant::Other(8))
                         ->Add(Node("a"));
                 },
                 {{"r", 0}, {"a", 1}}},
        WalkCase{"PartialSuccessFallsThroughToEnumerator",
                 [] {
                     return Node("r")
                         ->Add(Node("a"))
                         ->Add(Node("b"))
                         ->ChildrenResult(kSFalse)
                         ->WithEnumerator();
                 },
                 {{"r", 0}, {"a", 1}, {"b", 1}}},
        WalkCase{"NavigationKeepsTheParentsDepth",
                 [] {
                     return Node("r")
                         ->Add(Node("a")->Add(Node("a1")))
                         ->Add(Node("b"))
                         ->ChildrenResult(kEFail);
                 },
                 {{"r", 0}, {"a", 0}, {"a1", 1}, {"b", 0}}},
        WalkCase{"NavigationEndsWhenNextEqualsCurrent",
                 [] {
                     FakeAccessiblePtr a = Node("a");
                     FakeAccessiblePtr b = Node("b");
                     return Node("r")->Add(a)->ChildrenResult(kEFail)->Navigation(
                         {AccVariant::Object(a), AccVariant::Object(b), AccVariant::Object(b)});
                 },
                 {{"r", 0}, {"a", 0}, {"b", 0}}},
        WalkCase{"NavigationInACircleEnds",
                 [] {
                     FakeAccessiblePtr a = Node("a");
                     FakeAccessiblePtr b = Node("b");
                     return Node("r")->Add(a)->ChildrenResult(kEFail)->Navigation(
                         {AccVariant::Object(a), AccVariant::Object(b), AccVariant::Object(a)});
                 },
                 {{"r", 0}, {"a", 0}, {"b", 0}}},
        WalkCase{
            "FailedFirstChildEndsTheObject",
            [] { return Node("r")->Add(Node("a"))->ChildrenResult(kEFail)->FirstChildFails(); },
            {{"r", 0}}},
        WalkCase{"FailedChildCountEndsTheObject",
                 [] { return Node("r")->Add(Node("a"))->ChildCountResult(kSFalse); },
                 {{"r", 0}}},
        WalkCase{"StopFromTheCallbackEndsTheWholeWalk",
                 SmallTree,
                 {{"r", 0}, {"a", 1}, {"a1", 2}},
                 "a1"},
        WalkCase{"StopInsideEnumeratorEndsTheWholeWalk",
                 [] {
                     return Node("r")
                         ->Add(Node("a"))
                         ->Add(Node("b"))
                         ->ChildrenResult(kEFail)
                         ->WithEnumerator();
                 },
                 {{"r", 0}, {"a", 1}},
                 "a"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(WalkLimitsTest, ChildrenOfAnObjectAtTheMaxDepthAreNeverAsked) {
    FakeAccessiblePtr deep = Node("deep");
    FakeAccessiblePtr atMax = Node("max")->AddChildId(3, deep)->Add(Node("below"));
    Recorder recorder;
    Walk(recorder, Node("r")->Add(atMax), 1);
    EXPECT_EQ(recorder.visits, (std::vector<Visit>{{"r", 0}, {"max", 1}}));
    EXPECT_EQ(atMax->CallCount("GetChild"), 0);
    EXPECT_EQ(deep->CallCount("Value"), 0);
}

TEST(WalkFailuresTest, FailingEnumeratorOrNonAccessibleChildRaises) {
    Recorder recorder;
    EXPECT_THROW(
        Walk(recorder,
             Node("r")->Add(Node("a"))->Add(Node("b"))->ChildrenResult(kEFail)->EnumeratorFailsAt(
                 1)),
        EOleSysError);
    EXPECT_EQ(recorder.visits, (std::vector<Visit>{{"r", 0}, {"a", 1}}));
    EXPECT_THROW(Walk(recorder, Node("r")->AddChildId(4)->ChildResult(
                                    4, kSOk, AccVariant::NonAccessible(99))),
                 EIntfCastError);
}

TEST(WalkFailuresTest, MissingCallbackIsAnAssertionAndNoAccessibleObjectIsNoWalk) {
    FakeDesktop desktop;
    const WindowHandle window = desktop.AddWindow("x").Handle();
    EXPECT_THROW(EnumWindowAccessibleInfo(desktop, window, nullptr, nullptr, 4), EAssertionFailed);
    Recorder recorder;
    EnumWindowAccessibleInfo(desktop, window, Record, &recorder, 4);
    EXPECT_TRUE(recorder.visits.empty());
}

// ---- The probe's callback: which text elements hold the address ----

struct ElementCase {
    const char* name;
    TAppType appType;
    std::function<FakeAccessiblePtr()> element;
    bool accepted;
};

void PrintTo(const ElementCase& c, std::ostream* out) {
    *out << c.name;
}

class AddressElementTest : public ::testing::TestWithParam<ElementCase> {};

TEST_P(AddressElementTest, AcceptsOnlyTheAddressField) {
    const ElementCase& c = GetParam();
    FakeDesktop desktop;
    TOnlineTimeApplication probe(desktop);
    probe.SetAppType(c.appType);
    FakeAccessiblePtr element = c.element();
    const bool goOn = OnWindowAccessibleInfoEnum(*element, &probe, 0);
    EXPECT_EQ(goOn, !c.accepted);
    EXPECT_EQ(probe.BrowserUrl(), c.accepted ? element->Value().value : "");
}

FakeAccessiblePtr Text(std::string value) {
    return Acc()->Role(kRoleSystemText)->Value(std::move(value));
}
FakeAccessiblePtr OperaText(std::string value, int32_t state = kOperaAddressState) {
    return Text(std::move(value))->State(state);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressElementTest,
    ::testing::Values(
        ElementCase{"FirefoxHttp", atFirefox, [] { return Text("http://example.com/"); }, true},
        ElementCase{"FirefoxHttps", atFirefox, [] { return Text("https://a.org/"); }, true},
        ElementCase{"FirefoxFtp", atFirefox, [] { return Text("ftp://files.org/"); }, true},
        ElementCase{"FirefoxFtps", atFirefox, [] { return Text("ftps://files.org/"); }, true},
        ElementCase{"CapitalScheme", atFirefox, [] { return Text("HTTP://EXAMPLE.COM/"); }, false},
        ElementCase{"BareWww", atFirefox, [] { return Text("www.example.com"); }, false},
        ElementCase{"NotATextRole", atFirefox,
                    [] { return Acc()->Role(30)->Value("http://a.org/"); }, false},
        ElementCase{"RoleAsText", atFirefox,
                    [] { return Acc()->RoleNotInteger()->Value("http://a.org/"); }, false},
        ElementCase{"RoleCallPartlyFails", atFirefox,
                    [] { return Acc()->Role(kRoleSystemText, kSFalse)->Value("http://a.org/"); },
                    false},
        ElementCase{"ValueCallFails", atFirefox,
                    [] { return Acc()->Role(kRoleSystemText)->Value("http://a.org/", kEFail); },
                    false},
        ElementCase{"OperaExactState", atOpera, [] { return OperaText("http://a.org/"); }, true},
        ElementCase{
            "OperaExtraFocusedBit", atOpera,
            [] { return OperaText("http://a.org/", kOperaAddressState | kStateSystemFocused); },
            false},
        ElementCase{"OperaStateAsText", atOpera,
                    [] { return Text("http://a.org/")->StateNotInteger(); }, false},
        ElementCase{"OperaStateCallFails", atOpera,
                    [] { return Text("http://a.org/")->State(kOperaAddressState, kEFail); }, false},
        ElementCase{"NotABrowserWalk", atDesktopApplication,
                    [] { return OperaText("http://a.org/"); }, false}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- Recognition by window class, through one foreground probe ----

struct RecognitionCase {
    const char* name;
    std::function<void(FakeWindow&)> children;
    TAppType appType;
    const char* url;
    int textReads;
};

void PrintTo(const RecognitionCase& c, std::ostream* out) {
    *out << c.name;
}

class RecognitionTest : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(RecognitionTest, SetsKindAndAddress) {
    test::CaseDeadline deadline(kWalkLimit);
    const RecognitionCase& c = GetParam();
    FakeDesktop desktop;
    FakeWindow& top = desktop.AddWindow("Frame", desktop.StartProcess("/opt/browser"));
    c.children(top);
    desktop.SetDriveLetters(false).SetForeground(top.Handle());
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppType(), c.appType);
    EXPECT_EQ(probe.BrowserUrl(), c.url);
    EXPECT_EQ(int(desktop.TextReadTimeouts().size()), c.textReads);
    for (int timeout : desktop.TextReadTimeouts())
        EXPECT_EQ(timeout, 1000);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecognitionTest,
    ::testing::Values(
        RecognitionCase{"EditBeforeAndAfterAddressBand",
                        [](FakeWindow& w) {
                            w.WithChild("Edit", "search box");
                            w.Child("Address Band Root").WithChild("Edit", "example.com/page");
                        },
                        atInternetExplorer, "example.com/page", 1},
        RecognitionCase{"TwoEditsAfterAddressDisplay",
                        [](FakeWindow& w) {
                            w.WithChild("AddressDisplay Control")
                                .WithChild("Edit", "HTTP://FIRST.ORG")
                                .WithChild("Edit", "second");
                        },
                        atInternetExplorer, "HTTP://FIRST.ORG", 1},
        RecognitionCase{"FirstEditEndsTheEnumeration",
                        [](FakeWindow& w) {
                            w.WithChild("Address Band Root")
                                .WithChild("Edit", "a.org")
                                .WithChild("Chrome_AutocompleteEditView", "b.org");
                        },
                        atInternetExplorer, "a.org", 1},
        RecognitionCase{"EditWithoutAddressBand",
                        [](FakeWindow& w) { w.WithChild("Edit", "http://a.org/"); },
                        atDesktopApplication, "", 0},
        RecognitionCase{"ChromeTakesBareWww",
                        [](FakeWindow& w) {
                            w.WithChild("Chrome_RenderWidgetHostHWND")
                                .WithChild("Chrome_AutocompleteEditView", "www.example.com");
                        },
                        atChrome, "www.example.com", 1},
        RecognitionCase{"ChromeTextTimesOut",
                        [](FakeWindow& w) {
                            w.Child("Chrome_AutocompleteEditView").Text("a.org").TextTimesOut();
                        },
                        atChrome, "", 1},
        RecognitionCase{
            "FirefoxWithoutAccessibleEndsEnumeration",
            [](FakeWindow& w) {
                w.WithChild("MozillaWindowClass").WithChild("Chrome_AutocompleteEditView", "other");
            },
            atFirefox, "", 0},
        RecognitionCase{"OperaTreeAddress",
                        [](FakeWindow& w) {
                            w.Child("OperaWindowClass")
                                .Accessible(Acc()
                                                ->Add(OperaText("http://a.org/", 0x100084))
                                                ->Add(OperaText("http://b.org/")));
                        },
                        atOpera, "http://b.org/", 0}),
    [](const auto& c) { return std::string(c.param.name); });

struct DepthCase {
    const char* className;
    TAppType appType;
    int depth;
    bool found;
};

std::string DepthCaseName(const DepthCase& c) {
    return std::string(c.className) + "AddressAtDepth" + std::to_string(c.depth);
}

void PrintTo(const DepthCase& c, std::ostream* out) {
    *out << DepthCaseName(c);
}

class DepthLimitTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(DepthLimitTest, AddressBelowTheLimitIsNotFound) {
    test::CaseDeadline deadline(kWalkLimit);
    const DepthCase& c = GetParam();
    FakeDesktop desktop;
    FakeWindow& top = desktop.AddWindow("Frame");
    top.Child(c.className).Accessible(Chain(c.depth - 1, OperaText("https://a.org/")));
    desktop.SetForeground(top.Handle());
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppType(), c.appType);
    EXPECT_EQ(probe.BrowserUrl(), c.found ? "https://a.org/" : "");
}

INSTANTIATE_TEST_SUITE_P(Cases, DepthLimitTest,
                         ::testing::Values(DepthCase{"MozillaWindowClass", atFirefox, 4, true},
                                           DepthCase{"MozillaWindowClass", atFirefox, 5, false},
                                           DepthCase{"OperaWindowClass", atOpera, 8, true},
                                           DepthCase{"OperaWindowClass", atOpera, 9, false}),
                         [](const auto& c) { return DepthCaseName(c.param); });

TEST(CallbackFailureTest, OneObjectRaisingIsLoggedOnceAndTheWalkGoesOn) {
    test::CaseDeadline deadline(kWalkLimit);
    test::LogCapture log;
    FakeDesktop desktop;
    FakeWindow& top = desktop.AddWindow("Frame");
    top.Child("MozillaWindowClass")
        .Accessible(Acc()->Add(Acc()->RaisesOnRead("provider gone"))->Add(Text("http://a.org/")));
    desktop.SetForeground(top.Handle());
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.BrowserUrl(), "http://a.org/");
    EXPECT_EQ(log.Lines(),
              std::vector<std::string>{
                  "ErrorClassName: EOleSysError; OnWindowAccessibleInfoEnum:provider gone"});
}

TEST(WindowTextTest, TextIsCutAtItsFirstZeroByteAndTheBufferSize) {
    FakeDesktop desktop;
    const WindowHandle zero = desktop.AddWindow("Edit").Text(std::string("abc\0def", 7)).Handle();
    const WindowHandle longText = desktop.AddWindow("Edit").Text(std::string(2000, 'x')).Handle();
    EXPECT_EQ(GetWindowTextTimeout(desktop, zero), "abc");
    EXPECT_EQ(GetWindowTextTimeout(desktop, longText).size(), 1023u);
    EXPECT_EQ(GetWindowClassName(desktop, desktop.AddWindow(std::string(300, 'c')).Handle()).size(),
              259u);
}

}  // namespace
}  // namespace tw
