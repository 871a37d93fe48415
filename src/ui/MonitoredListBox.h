#pragma once

#include <functional>
#include <string>

#include <QListWidget>
#include <QRect>
#include <QString>

#include "storage/MonitoredObjects.h"

class QPainter;

// The one owner-drawn list of the program: rows of a caption and the
// time-limit entry they show (none for the empty rows that pad the list to
// look like a full table), painted by a draw hook of the owning window.
namespace tw {

class TMonitoredListBox : public QListWidget, public TListBoxItems {
    Q_OBJECT
public:
    explicit TMonitoredListBox(QWidget* parent = nullptr);

    // Fixed row height in pixels (16 in most lists).
    int ItemHeight() const noexcept { return itemHeight_; }
    void SetItemHeight(int height);

    // The entry of a row; null for padding rows and out-of-range rows.
    TMonitoredItem* Item(int row) const;
    QString Caption(int row) const;
    // Rows whose text is not empty.
    int FilledCount() const;
    void AddEmptyRows(int count);

    // Paints one row: `rect` is the row in viewport coordinates; when
    // `selected` the background is already filled in the highlight colour
    // and the pen holds the highlighted-text colour.
    using TDrawItemHook =
        std::function<void(QPainter& painter, int index, const QRect& rect, bool selected)>;
    void SetDrawItem(TDrawItemHook hook);
    const TDrawItemHook& DrawItem() const noexcept { return drawItem_; }

    // The colour an entry's text is drawn in: the list's own text colour for
    // an active entry, clInactive for one waiting for removal.
    QColor ItemTextColor(int row) const;

    // TListBoxItems, for FillListBox.
    void BeginUpdate() override;
    void EndUpdate() override;
    void Clear() override;
    void SetCapacity(int capacity) override;
    void AddItem(const std::string& caption, TMonitoredItem* item) override;

private:
    int itemHeight_ = 16;
    int updateDepth_ = 0;
    TDrawItemHook drawItem_;
};

// Pieces of the windows' draw hooks.
// White for even rows, clStripe for odd ones; nothing when selected.
void FillRowStripe(QPainter& painter, int index, const QRect& rect, bool selected);
// A clRule line from the row's top to its bottom at x.
void DrawColumnRule(QPainter& painter, int x, const QRect& rect);
// A clRule line along the row's bottom edge (under the last row).
void DrawBottomRule(QPainter& painter, const QRect& rect);
// One line of text in `cell`, vertically centred, "&" shown as itself,
// clipped to the cell; the painter's pen colour.
void DrawCellText(QPainter& painter, const QRect& cell, const QString& text,
                  Qt::Alignment horizontal);
// The check box cell: the square from (right - height - 4) to the right edge.
QRect CheckCellRect(const QRect& rowRect) noexcept;
// The checked or unchecked picture centred in the check box cell.
void DrawCheckCell(QPainter& painter, const QRect& rowRect, bool checked);

}  // namespace tw
