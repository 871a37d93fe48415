#include "ui/BaseFRM.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QRegion>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QUrl>

#include "base/Appearance.h"
#include "base/Exceptions.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "imaging/PictureLoader.h"
#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/WarningFRM.h"

namespace tw {

namespace {

constexpr int kHeaderHeight = 32;

constexpr int kFilledRole = Qt::UserRole + 1;

// A to-do selector's rows: the text, and the mark of a filled-in period
// at the right.
class TFilledMarkDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        static const QImage mark =
            PrepareBitmap(ResourcePicture(QLatin1String(pictures::kComboCheck)));
        const QRect row = option.rect;
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        painter->save();
        painter->fillRect(row,
                          option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const int markLeft = row.right() - row.height() - 4;
        if (index.data(kFilledRole).toBool() && !mark.isNull()) {
            painter->drawImage(markLeft, row.top(), mark);
        }
        DrawCellText(*painter,
                     QRect(row.left() + 2, row.top(), markLeft - row.left() - 2, row.height()),
                     index.data(Qt::DisplayRole).toString(), Qt::AlignLeft);
        painter->restore();
    }
};

TfrmBase::TModalHook& ModalHook() {
    static TfrmBase::TModalHook hook;
    return hook;
}

// The user's background picture, shared by all windows and loaded again
// only when the appearance file names another one.
struct SharedPicture {
    bool loaded = false;
    std::string path;
    QImage image;
};

const QImage& BackgroundPicture() {
    static SharedPicture shared;
    const std::string path = GetBackgroundPicturePath();
    if (shared.loaded && path == shared.path) {
        return shared.image;
    }
    shared.loaded = true;
    shared.path = path;
    shared.image = QImage();
    if (!path.empty()) {
        try {
            shared.image = ToPicture(LoadPicture(path))
                               .image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        } catch (const Exception& e) {
            // Painting cannot fail; the plain colour stays and the log says why.
            LogException(e, "; TfrmBase.FormPaint: ");
        }
    }
    return shared.image;
}

bool ParseTimePart(std::string_view part, int limit, int& value) {
    if (part.empty() || part.size() > 2) {
        return false;
    }
    value = 0;
    for (char c : part) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    return value < limit;
}

}  // namespace

QPoint ClampToWorkArea(QPoint topLeft, QSize size, const QRect& workArea) noexcept {
    int left = std::max(topLeft.x(), workArea.left());
    int top = std::max(topLeft.y(), workArea.top());
    if (top + size.height() > workArea.top() + workArea.height()) {
        top = workArea.top() + workArea.height() - size.height();
    }
    if (left + size.width() > workArea.left() + workArea.width()) {
        left = workArea.left() + workArea.width() - size.width();
    }
    return {left, top};
}

int PadRowCount(int listHeight, int itemHeight, int filledRows) noexcept {
    if (itemHeight <= 0) {
        return 0;
    }
    const int rows = (listHeight - 2) / itemHeight;
    return std::max(rows - filledRows, 0);
}

TDateTime StrToTime(std::string_view text) {
    const std::string trimmed = Trim(text);
    const std::vector<std::string> parts = Split(trimmed, ':');
    int hour = 0, minute = 0, second = 0;
    const bool valid = (parts.size() == 2 || parts.size() == 3) &&
                       ParseTimePart(parts[0], 24, hour) && ParseTimePart(parts[1], 60, minute) &&
                       (parts.size() == 2 || ParseTimePart(parts[2], 60, second));
    if (!valid) {
        throw EConvertError("'" + std::string(text) + "' is not a valid time");
    }
    return EncodeTime(hour, minute, second);
}

QUrl LinkUrl(const QString& link) {
    return QUrl::fromUserInput(link, QDir::currentPath());
}

void SetupTimeEdit(QLineEdit* edit) {
    edit->setInputMask(QLatin1String(kTimeEditMask));
    edit->setMaxLength(5);
}

// --- TfrmBase ---

TfrmBase::TfrmBase(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPixelSize(13);
    windowFont.setBold(true);
    setFont(windowFont);
    SetFontColor(this, clDarkText);

    pnlHeader = new TImagePanel(this);
    pnlHeader->setObjectName(QStringLiteral("pnlHeader"));
    pnlHeader->SetBackground(ResourcePicture(QLatin1String(pictures::kHeader)));
    pnlHeader->SetSides(8, 8);
    pnlBody = new TImagePanel(this);
    pnlBody->setObjectName(QStringLiteral("pnlBody"));
    pnlBody->SetBackground(ResourcePicture(QLatin1String(pictures::kBody)));
    imgIcon = new QLabel(this);
    imgIcon->setObjectName(QStringLiteral("imgIcon"));
    imgIcon->setGeometry(3, 3, 24, 24);
    const QImage icon = ResourcePicture(QLatin1String(pictures::kIcon)).image;
    if (!icon.isNull()) {
        imgIcon->setPixmap(QPixmap::fromImage(
            icon.scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        setWindowIcon(QIcon(QPixmap::fromImage(icon)));
    }
    lblCaption = CreateLabel(windowTitle(), QRect(32, 7, 300, 18));
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    pnlHeader->installEventFilter(this);
    lblCaption->installEventFilter(this);

    SetBackgroundColor(GetBackgroundColor());
    SetTransparency(GetTransparency());
    resize(352, 105);
}

TfrmBase::~TfrmBase() = default;

void TfrmBase::SetModalHook(TModalHook hook) {
    ModalHook() = std::move(hook);
}

bool TfrmBase::ShowModal() {
    if (ModalHook()) {
        TModalHook hook = ModalHook();
        QTimer::singleShot(0, this, [this, hook] { hook(*this); });
    }
    return exec() == QDialog::Accepted;
}

void TfrmBase::ShowWarning(const QString& text, const QString& title, QWidget* owner) {
    TfrmWarning warning(owner);
    warning.Execute(text, title);
}

bool TfrmBase::ValidateTimeLimit(QLineEdit* edit) {
    const QString title = QStringLiteral("Please Note");
    const QString text = edit->text();
    TDateTime value = 0;
    try {
        value = StrToTime(text.toStdString());
    } catch (const EConvertError& e) {
        ShowWarning(QString::fromStdString(e.Message()), title, this);
        edit->setFocus();
        return false;
    }
    const long long minutes = std::llround(value * 1440);
    if (minutes == 0) {
        ShowWarning(QStringLiteral("Limit can't be empty"), title, this);
        edit->setFocus();
        return false;
    }
    if (minutes <= 1439) {
        return true;
    }
    ShowWarning(QStringLiteral("Limit can't be greater than ") +
                    QString::fromStdString(FormatHoursMinutes(1439.0 / 1440.0)),
                title, this);
    edit->setFocus();
    return false;
}

void TfrmBase::PadListBox(TMonitoredListBox* list) {
    const int count = PadRowCount(list->height(), list->ItemHeight(), list->FilledCount());
    if (count > 0) {
        list->BeginUpdate();
        list->AddEmptyRows(count);
        list->EndUpdate();
    }
}

void TfrmBase::GetTimeLimitAndAction(TOptions& options, int32_t& seconds, uint8_t& action) {
    seconds = options.TimeLimitSeconds;
    action = options.ExpirationAction;
    if (options.AccessLevel() == 2) {
        return;
    }
    // The pending values are shown only when the daily reset would accept them.
    const TIniFile& ini = GetIniFile();
    const int32_t pendingSeconds = ini.ReadInteger("Common", "TimeLimitSeconds", seconds);
    const int32_t pendingAction = ini.ReadInteger("Common", "ExpirationAction", action);
    if (pendingSeconds > 0) {
        seconds = pendingSeconds;
    }
    if (pendingAction >= 0 && pendingAction <= 2) {
        action = uint8_t(pendingAction);
    }
}

namespace {

class ClickFilter final : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> action)
        : QObject(parent), action_(std::move(action)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            auto* widget = static_cast<QWidget*>(watched);
            if (mouse->button() == Qt::LeftButton &&
                widget->rect().contains(mouse->position().toPoint())) {
                action_();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> action_;
};

}  // namespace

void TfrmBase::OnClick(QWidget* widget, std::function<void()> action) {
    widget->installEventFilter(new ClickFilter(widget, std::move(action)));
}

void TfrmBase::UseFilledMarks(QComboBox* combo) {
    combo->setItemDelegate(new TFilledMarkDelegate(combo));
}

void TfrmBase::SetFilledMark(QComboBox* combo, int index, bool filled) {
    combo->setItemData(index, filled, kFilledRole);
    combo->update();
}

void TfrmBase::OpenLink(const QString& link) {
    // A page the desktop cannot show is the desktop's matter, not the
    // user's error: it is logged, and the window goes on.
    if (link.isEmpty()) {
        WriteLog("TfrmBase.OpenLink: no address to open (none configured)");
    } else if (!QDesktopServices::openUrl(LinkUrl(link))) {
        WriteLog("TfrmBase.OpenLink: the desktop could not open " + link.toStdString());
    }
}

void TfrmBase::SetRoundRegion(QWidget* window) {
    QPainterPath path;
    path.addRoundedRect(QRectF(window->rect()), 10, 10);
    window->setMask(QRegion(path.toFillPolygon().toPolygon()));
    window->update();
}

void TfrmBase::ClipComboButton(QComboBox* combo) {
    combo->setMask(QRegion(0, 0, std::max(combo->width() - 26, 0), combo->height()));
}

void TfrmBase::ClipComboButtons(QWidget* window) {
    for (QComboBox* combo : window->findChildren<QComboBox*>()) {
        if (combo->window() == window) {
            ClipComboButton(combo);
        }
    }
}

void TfrmBase::SetBackgroundColor(int32_t color) {
    backgroundColor_ = color;
    update();
}

void TfrmBase::SetTextColor(int32_t color) {
    for (QLabel* label : findChildren<QLabel*>()) {
        // Labels in the window's own dark colour sit on light pictures
        // (list headers, frames) and keep it.
        if (label->window() == this &&
            ColorToWin(label->palette().color(QPalette::WindowText)) != clDarkText) {
            SetFontColor(label, color);
        }
    }
    update();
}

void TfrmBase::SetTransparency(int percent) {
    alpha_ = OpacityAlpha(percent);
    setWindowOpacity(alpha_ == 255 ? 1.0 : alpha_ / 255.0);
}

bool TfrmBase::CanMoveTo(int /*newLeft*/, int /*newTop*/) {
    return true;
}

QWidget* TfrmBase::PageControl(const QRect& geometry) {
    if (pageControl_ == nullptr) {
        pageControl_ = new QWidget(this);
        pageControl_->setObjectName(QStringLiteral("pcMain"));
    }
    if (geometry.isValid()) {
        pageControl_->setGeometry(geometry);
        for (QWidget* page : pages_) {
            page->setGeometry(pageControl_->rect());
        }
    }
    return pageControl_;
}

QWidget* TfrmBase::AddPage() {
    auto* page = new QWidget(PageControl());
    page->setGeometry(pageControl_->rect());
    page->hide();
    pages_.push_back(page);
    return page;
}

void TfrmBase::ShowPage(QWidget* sheet) {
    for (QWidget* page : pages_) {
        if (page != sheet) {
            page->hide();
        }
    }
    if (QWidget* focused = focusWidget(); focused != nullptr && !sheet->isAncestorOf(focused)) {
        focused->clearFocus();
    }
    sheet->setGeometry(PageControl()->rect());
    sheet->show();
    sheet->raise();
    activePage_ = sheet;
    for (QComboBox* combo : sheet->findChildren<QComboBox*>()) {
        ClipComboButton(combo);
    }
    // The focus chain is the tab order; the first control of the page in it
    // that can take the focus becomes the active control.
    for (QWidget* w = sheet->nextInFocusChain(); w != sheet; w = w->nextInFocusChain()) {
        if (sheet->isAncestorOf(w) && w->isEnabled() && w->isVisibleTo(sheet) &&
            (w->focusPolicy() & Qt::TabFocus) != 0) {
            w->setFocus(Qt::TabFocusReason);
            break;
        }
    }
}

void TfrmBase::RestorePages() {
    for (QWidget* page : pages_) {
        page->hide();
    }
    activePage_ = nullptr;
}

QAction* TfrmBase::AddKeyAction(const QString& text, const QList<QKeySequence>& keys,
                                std::function<void()> handler) {
    auto* action = new QAction(text, this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    addAction(action);
    return action;
}

QLabel* TfrmBase::CreateLabel(const QString& text, const QRect& geometry, int32_t color,
                              QWidget* parent) {
    auto* label = new QLabel(parent != nullptr ? parent : this);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setGeometry(geometry);
    SetFontColor(label, color);
    return label;
}

TImageButton* TfrmBase::CreateButton(const QString& caption, const QRect& geometry,
                                     QWidget* parent) {
    auto* button = new TImageButton(caption, parent != nullptr ? parent : this);
    button->setGeometry(geometry);
    return button;
}

QLineEdit* TfrmBase::CreateEdit(const QRect& geometry, QWidget* parent) {
    auto* frame = new TImagePanel(parent != nullptr ? parent : this);
    frame->SetBackground(ResourcePicture(QLatin1String(pictures::kListFrame)));
    frame->SetSides(8, 8);
    frame->setGeometry(geometry);
    auto* edit = new QLineEdit(frame);
    // The frame picture is the border; the box itself is plain white.
    edit->setStyleSheet(
        QStringLiteral("QLineEdit { border: none; background: white; color: black; }"));
    edit->setGeometry(4, 3, geometry.width() - 8, geometry.height() - 6);
    return edit;
}

QPlainTextEdit* TfrmBase::CreateMemo(const QRect& geometry, QWidget* parent) {
    auto* frame = new TImagePanel(parent != nullptr ? parent : this);
    frame->SetBackground(ResourcePicture(QLatin1String(pictures::kListFrame)));
    frame->SetSides(8, 8);
    frame->setGeometry(geometry);
    auto* memo = new QPlainTextEdit(frame);
    memo->setFrameShape(QFrame::NoFrame);
    memo->setStyleSheet(QStringLiteral("QPlainTextEdit { background: white; color: black; }"));
    memo->setGeometry(4, 3, geometry.width() - 8, geometry.height() - 6);
    return memo;
}

TImageButton* TfrmBase::CreateComboButton(QComboBox* combo) {
    auto* button = new TImageButton(combo->parentWidget());
    button->SetPictures(ResourcePicture(QLatin1String(pictures::kComboDown)),
                        ResourcePicture(QLatin1String(pictures::kComboDownHover)),
                        ResourcePicture(QLatin1String(pictures::kComboDownPressed)));
    button->SetSides(0, 0);
    button->setGeometry(combo->geometry().right() - 25, combo->y(), 26, combo->height());
    connect(button, &TImageButton::clicked, combo, [combo] {
        combo->setFocus();
        combo->showPopup();
    });
    return button;
}

std::tuple<TImageButton*, TImageButton*, QAction*, QAction*> TfrmBase::AddOkCancel(
    const QRect& okGeometry, const QRect& cancelGeometry, std::function<void()> onOk,
    std::function<void()> onCancel) {
    TImageButton* ok = CreateButton(QStringLiteral("OK"), okGeometry);
    ok->setObjectName(QStringLiteral("btnOk"));
    TImageButton* cancel = CreateButton(QStringLiteral("Cancel"), cancelGeometry);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    connect(ok, &TImageButton::clicked, this, onOk);
    connect(cancel, &TImageButton::clicked, this, onCancel);
    QAction* miOk =
        AddKeyAction(QStringLiteral("OK"),
                     {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}, std::move(onOk));
    QAction* miCancel =
        AddKeyAction(QStringLiteral("Cancel"), {QKeySequence(Qt::Key_Escape)}, std::move(onCancel));
    return {ok, cancel, miOk, miCancel};
}

void TfrmBase::SetFontColor(QWidget* widget, int32_t color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ColorFromWin(color));
    widget->setPalette(palette);
}

void TfrmBase::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), ColorFromWin(backgroundColor_));
    const QImage& picture = BackgroundPicture();
    if (picture.isNull()) {
        return;
    }
    const int pw = picture.width(), ph = picture.height();
    for (int i = 0; i <= width() / pw; ++i) {
        for (int j = 0; j <= height() / ph; ++j) {
            painter.drawImage(i * pw, j * ph, picture);
        }
    }
}

void TfrmBase::resizeEvent(QResizeEvent* event) {
    pnlHeader->setGeometry(0, 0, width(), kHeaderHeight);
    pnlBody->setGeometry(0, kHeaderHeight, width(), std::max(height() - kHeaderHeight, 0));
    lblCaption->resize(std::max(width() - 40, 0), lblCaption->height());
    SetRoundRegion(this);
    QDialog::resizeEvent(event);
}

void TfrmBase::showEvent(QShowEvent* event) {
    if (!appearanceApplied_) {
        // Derived windows add their controls after this base is built, so
        // the recolouring and the combo clipping wait for the first show.
        appearanceApplied_ = true;
        ClipComboButtons(this);
        SetTextColor(GetTextColor());
        if (!testAttribute(Qt::WA_Moved)) {
            if (const QScreen* s = screen(); s != nullptr) {
                const QRect area = s->availableGeometry();
                move(area.center() - QPoint(width() / 2, height() / 2));
            }
        }
    }
    QDialog::showEvent(event);
    raise();
    activateWindow();
}

void TfrmBase::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowTitleChange && lblCaption != nullptr) {
        lblCaption->setText(windowTitle());
    }
    QDialog::changeEvent(event);
}

bool TfrmBase::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pnlHeader || watched == lblCaption) {
        auto* sender = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress) {
            HeaderMouseDown(sender, static_cast<QMouseEvent*>(event));
            return watched == lblCaption;
        }
        if (event->type() == QEvent::MouseMove) {
            HeaderMouseMove(sender, static_cast<QMouseEvent*>(event));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmBase::HeaderMouseDown(QWidget* sender, QMouseEvent* event) {
    if ((windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != 0) {
        return;
    }
    FDragOrigin = sender->mapTo(this, event->position().toPoint());
}

void TfrmBase::HeaderMouseMove(QWidget* /*sender*/, QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) == 0 || FHideState != 0 ||
        (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) != 0) {
        return;
    }
    const QPoint pointer = event->globalPosition().toPoint();
    const int newLeft = pointer.x() - FDragOrigin.x();
    const int newTop = pointer.y() - FDragOrigin.y();
    if (!CanMoveTo(newLeft, newTop)) {
        return;
    }
    const QScreen* s = screen();
    const QRect area = s != nullptr ? s->availableGeometry() : QRect(0, 0, 1 << 20, 1 << 20);
    move(ClampToWorkArea({newLeft, newTop}, size(), area));
}

}  // namespace tw
