#include "ui/MonitoredListBox.h"

#include <memory>

#include <QPainter>

#include "UiTestSupport.h"
#include "ui/Colors.h"

namespace tw {
namespace {

using MonitoredListBoxTest = test::UiTest;

void AddEntry(TMonitoredList& list, const char* caption, TMonitoredItemType type, bool active) {
    auto item = std::make_unique<TMonitoredItem>();
    item->Caption = caption;
    item->Name = std::string(caption) + ".example";
    item->ItemType = type;
    item->Active = active;
    item->Checked = true;
    list.Add(caption, std::move(item));
}

TEST_F(MonitoredListBoxTest, FillAndPadToAFullTable) {
    TMonitoredList list;
    AddEntry(list, "Alpha", mitWebSite, true);
    AddEntry(list, "Beta", mitApplication, false);
    AddEntry(list, "Gamma", mitWebSite, true);
    TMonitoredListBox box;
    box.resize(200, 251);
    for (int round = 0; round < 2; ++round) {  // refilling never piles up empty rows
        FillListBox(box, list, mitAll);
        TfrmBase::PadListBox(&box);
        ASSERT_EQ(box.count(), 15);
    }
    EXPECT_EQ(box.FilledCount(), 3);
    EXPECT_EQ(box.Caption(1), QStringLiteral("Beta"));
    EXPECT_EQ(box.Item(1), list.Items(1));
    EXPECT_FALSE(box.Item(1)->Checked);  // an inactive entry is never checked
    EXPECT_EQ(box.Item(3), nullptr);
    EXPECT_EQ(box.Item(99), nullptr);
    EXPECT_EQ(box.ItemTextColor(0), ColorFromWin(clDarkText));
    EXPECT_EQ(box.ItemTextColor(1), ColorFromWin(clInactive));

    FillListBox(box, list, mitWebSite);
    EXPECT_EQ(box.count(), 2);
    TfrmBase::PadListBox(&box);
    EXPECT_EQ(box.count(), 15);
}

TEST_F(MonitoredListBoxTest, RowsAreStripedAndTheHookDrawsThem) {
    TMonitoredList list;
    AddEntry(list, "Alpha", mitWebSite, true);
    TMonitoredListBox box;
    box.resize(200, 100);
    FillListBox(box, list, mitAll);
    TfrmBase::PadListBox(&box);
    box.show();

    QImage plain(box.viewport()->size(), QImage::Format_ARGB32);
    box.viewport()->render(&plain);
    EXPECT_EQ(plain.pixel(150, 8), qRgb(255, 255, 255));
    EXPECT_EQ(plain.pixel(150, 16 + 8), qRgb(0xF1, 0xF1, 0xF1));
    EXPECT_EQ(plain.pixel(150, 32 + 8), qRgb(255, 255, 255));

    std::vector<int> drawn;
    box.SetDrawItem([&](QPainter& painter, int index, const QRect& rect, bool selected) {
        drawn.push_back(index);
        EXPECT_EQ(rect.height(), 16);
        EXPECT_EQ(rect.top(), index * 16);
        FillRowStripe(painter, index, rect, selected);
        DrawColumnRule(painter, 100, rect);
        if (index == box.count() - 1) {
            DrawBottomRule(painter, rect);
        }
        if (box.Item(index) != nullptr) {
            DrawCheckCell(painter, rect, box.Item(index)->Checked);
        }
    });
    QImage hooked(box.viewport()->size(), QImage::Format_ARGB32);
    box.viewport()->render(&hooked);
    EXPECT_EQ(drawn.size(), size_t(box.count()));
    EXPECT_EQ(hooked.pixel(100, 20), qRgb(0xD4, 0xD4, 0xD4));
    EXPECT_EQ(hooked.pixel(50, 20), qRgb(0xF1, 0xF1, 0xF1));
    // The checked picture sits centred in the cell at the right of the first row.
    const QRect cell = CheckCellRect(QRect(0, 0, box.viewport()->width(), 16));
    EXPECT_EQ(cell.right(), box.viewport()->width() - 1);
    EXPECT_EQ(cell.width(), 20);
    EXPECT_NE(hooked.pixel(cell.center()), qRgb(255, 255, 255));
}

}  // namespace
}  // namespace tw
