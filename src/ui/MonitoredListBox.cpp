#include "ui/MonitoredListBox.h"

#include <QPainter>
#include <QStyledItemDelegate>

#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

constexpr int kItemRole = Qt::UserRole;

// Hands every row to the owning window's draw hook.
class TRowDelegate final : public QStyledItemDelegate {
public:
    explicit TRowDelegate(TMonitoredListBox* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option,
                   const QModelIndex& /*index*/) const override {
        return {option.rect.width(), list_->ItemHeight()};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int row = index.row();
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->setFont(list_->font());
        if (selected) {
            painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
            painter->setPen(option.palette.color(QPalette::HighlightedText));
        } else {
            painter->setPen(list_->ItemTextColor(row));
        }
        if (list_->DrawItem()) {
            list_->DrawItem()(*painter, row, option.rect, selected);
        } else {
            FillRowStripe(*painter, row, option.rect, selected);
            if (!selected) {
                painter->setPen(list_->ItemTextColor(row));
            }
            DrawCellText(*painter, option.rect.adjusted(2, 0, -2, 0), list_->Caption(row),
                         Qt::AlignLeft);
        }
        painter->restore();
    }

private:
    TMonitoredListBox* list_;
};

const QImage& CheckPicture(bool checked) {
    static const QImage on = PrepareBitmap(ResourcePicture(QLatin1String(pictures::kChecked)));
    static const QImage off = PrepareBitmap(ResourcePicture(QLatin1String(pictures::kUnchecked)));
    return checked ? on : off;
}

}  // namespace

TMonitoredListBox::TMonitoredListBox(QWidget* parent) : QListWidget(parent) {
    setFrameShape(QFrame::NoFrame);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new TRowDelegate(this));
    QPalette p = palette();
    p.setColor(QPalette::Text, ColorFromWin(clDarkText));
    p.setColor(QPalette::Base, ColorFromWin(clWhite));
    setPalette(p);
}

void TMonitoredListBox::SetItemHeight(int height) {
    itemHeight_ = height;
    doItemsLayout();
    viewport()->update();
}

TMonitoredItem* TMonitoredListBox::Item(int row) const {
    const QListWidgetItem* entry = item(row);
    if (entry == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<TMonitoredItem*>(entry->data(kItemRole).value<quintptr>());
}

QString TMonitoredListBox::Caption(int row) const {
    const QListWidgetItem* entry = item(row);
    return entry != nullptr ? entry->text() : QString();
}

int TMonitoredListBox::FilledCount() const {
    int filled = 0;
    for (int row = 0; row < count(); ++row) {
        if (!item(row)->text().isEmpty()) {
            ++filled;
        }
    }
    return filled;
}

void TMonitoredListBox::AddEmptyRows(int rows) {
    for (int i = 0; i < rows; ++i) {
        addItem(QString());
    }
}

void TMonitoredListBox::SetDrawItem(TDrawItemHook hook) {
    drawItem_ = std::move(hook);
    viewport()->update();
}

QColor TMonitoredListBox::ItemTextColor(int row) const {
    const TMonitoredItem* entry = Item(row);
    if (entry != nullptr && !entry->Active) {
        return ColorFromWin(clInactive);
    }
    return palette().color(QPalette::Text);
}

void TMonitoredListBox::BeginUpdate() {
    if (updateDepth_++ == 0) {
        setUpdatesEnabled(false);
    }
}

void TMonitoredListBox::EndUpdate() {
    if (updateDepth_ > 0 && --updateDepth_ == 0) {
        setUpdatesEnabled(true);
    }
}

void TMonitoredListBox::Clear() {
    clear();
}

void TMonitoredListBox::SetCapacity(int /*capacity*/) {
    // The widget grows its rows itself; there is nothing to reserve.
}

void TMonitoredListBox::AddItem(const std::string& caption, TMonitoredItem* entry) {
    auto* row = new QListWidgetItem(QString::fromStdString(caption), this);
    row->setData(kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(entry)));
}

void FillRowStripe(QPainter& painter, int index, const QRect& rect, bool selected) {
    if (!selected) {
        painter.fillRect(rect, ColorFromWin(index % 2 == 1 ? clStripe : clWhite));
    }
}

void DrawColumnRule(QPainter& painter, int x, const QRect& rect) {
    painter.save();
    painter.setPen(QPen(ColorFromWin(clRule), 1));
    painter.drawLine(x, rect.top(), x, rect.bottom());
    painter.restore();
}

void DrawBottomRule(QPainter& painter, const QRect& rect) {
    painter.save();
    painter.setPen(QPen(ColorFromWin(clRule), 1));
    painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    painter.restore();
}

void DrawCellText(QPainter& painter, const QRect& cell, const QString& text,
                  Qt::Alignment horizontal) {
    if (text.isEmpty() || cell.isEmpty()) {
        return;
    }
    painter.save();
    painter.setClipRect(cell, Qt::IntersectClip);
    painter.drawText(cell, int(horizontal | Qt::AlignVCenter) | Qt::TextSingleLine, text);
    painter.restore();
}

QRect CheckCellRect(const QRect& rowRect) noexcept {
    const int left = rowRect.left() + rowRect.width() - rowRect.height() - 4;
    return QRect(left, rowRect.top(), rowRect.left() + rowRect.width() - left, rowRect.height());
}

void DrawCheckCell(QPainter& painter, const QRect& rowRect, bool checked) {
    const QImage& picture = CheckPicture(checked);
    if (picture.isNull()) {
        return;
    }
    const QRect cell = CheckCellRect(rowRect);
    painter.drawImage(cell.left() + (cell.width() - picture.width()) / 2,
                      cell.top() + (cell.height() - picture.height()) / 2, picture);
}

}  // namespace tw
