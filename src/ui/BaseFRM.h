#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <tuple>
#include <vector>

#include <QDialog>
#include <QKeySequence>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QUrl>

#include "base/DateTime.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The base of every window: borderless, rounded, with the skinned header the
// user drags, the skinned body, and the user's colour, background picture,
// text colour and transparency. It also carries what all windows share: the
// notice box, the time-limit check, padding of the lists, and the pages of
// the multi-page windows.
//
// Lifetime: a dialog is created for one use on its caller's stack (or with
// a Qt parent), run with ShowModal() or its own Execute, and gone when its
// scope ends. Controls are placed on the window itself with fixed
// geometry; they are created after the header and body panels and so draw
// over them.
namespace tw {

class TImageButton;
class TImagePanel;
class TMonitoredListBox;
class TOptions;

// Where a window dragged to `topLeft` may go: inside the work area, flush
// with its edges when it would leave it.
QPoint ClampToWorkArea(QPoint topLeft, QSize size, const QRect& workArea) noexcept;

// Empty rows to append so a list of `listHeight` pixels with rows of
// `itemHeight` looks like a full table: truncate((height - 2) / itemHeight)
// less the rows holding text, never negative.
int PadRowCount(int listHeight, int itemHeight, int filledRows) noexcept;

// A time of day from "h:n" or "h:n:s" (hours 0-23, minutes and seconds
// 0-59, blanks around ignored); EConvertError "'<text>' is not a valid time".
TDateTime StrToTime(std::string_view text);

// The "hh:nn" edits: hours' first digit optional (a Qt mask's "0" is
// optional and "9" required).
// What OpenLink opens: a web address (a missing scheme means http) or a file.
QUrl LinkUrl(const QString& link);

inline constexpr char kTimeEditMask[] = "09:09;_";
void SetupTimeEdit(QLineEdit* edit);

class TfrmBase : public QDialog {
    Q_OBJECT
public:
    explicit TfrmBase(QWidget* parent = nullptr);
    ~TfrmBase() override;
    TfrmBase(const TfrmBase&) = delete;
    TfrmBase& operator=(const TfrmBase&) = delete;

    // Shows the window modally; true when it was closed with OK (accept()).
    bool ShowModal();

    // Test seam: while set, every skinned window that runs modally calls the
    // hook once, from its own event loop, right after it is shown; the hook
    // answers it (keys, clicks, accept()/reject()). Empty to switch off.
    using TModalHook = std::function<void(TfrmBase& window)>;
    static void SetModalHook(TModalHook hook);

    // --- Shared operations ---

    // A "Please Note" (or `title`) notice box with `text`, run modally.
    static void ShowWarning(const QString& text, const QString& title, QWidget* owner = nullptr);
    // The "hh:nn" limit in `edit`: refuses 00:00, anything past 23:59 and
    // unreadable text with a notice, focusing the edit.
    bool ValidateTimeLimit(QLineEdit* edit);
    static void PadListBox(TMonitoredListBox* list);
    // The limit and action the settings windows show: the settings' own for
    // an administrator, otherwise the pending ones of the appearance file's
    // "Common" section when they are usable, else the settings' own.
    static void GetTimeLimitAndAction(TOptions& options, int32_t& seconds, uint8_t& action);
    // Opens a web address (a missing scheme means http) or a file path;
    // one that cannot be opened is logged, never put to the user.
    static void OpenLink(const QString& link);
    // Runs `action` when the left button is released over `widget` (the link labels).
    static void OnClick(QWidget* widget, std::function<void()> action);
    // Clips a window to its rectangle with 20 x 20 rounded corners.
    static void SetRoundRegion(QWidget* window);
    // A to-do selector: each row shows a mark when its text is filled in.
    static void UseFilledMarks(QComboBox* combo);
    static void SetFilledMark(QComboBox* combo, int index, bool filled);
    // Hides a combo box's own drop-down arrow (26 pixels at the right): each
    // skinned combo has a picture button beside it that drops the list.
    static void ClipComboButton(QComboBox* combo);
    // ClipComboButton on every combo box of the window.
    static void ClipComboButtons(QWidget* window);

    // Window colour, label colour (labels in clDarkText keep theirs) and
    // transparency percent; Windows colour values as stored.
    void SetBackgroundColor(int32_t color);
    void SetTextColor(int32_t color);
    void SetTransparency(int percent);
    int32_t BackgroundColor() const noexcept { return backgroundColor_; }
    // The opacity in use, 0-255; 255 is fully opaque.
    int WindowAlpha() const noexcept { return alpha_; }

    // Whether a header drag may move the window to this (unclamped) place.
    virtual bool CanMoveTo(int newLeft, int newTop);

    // --- Pages of the multi-page windows ---

    // The invisible page control, created on first use at `geometry`.
    QWidget* PageControl(const QRect& geometry = QRect());
    // A new, hidden page of the page control; its controls go on it.
    QWidget* AddPage();
    // Puts one page on screen: every other page leaves it, the page's
    // combos lose their arrows, its first focusable control (in tab order)
    // becomes the active control.
    void ShowPage(QWidget* sheet);
    // Takes every page off screen.
    void RestorePages();
    QWidget* ActivePage() const noexcept { return activePage_; }

    // --- Building blocks for the derived windows ---

    // An invisible menu item: `keys` run `handler` while this window is active.
    QAction* AddKeyAction(const QString& text, const QList<QKeySequence>& keys,
                          std::function<void()> handler);
    // A label in the window font, `color` as a colour value (white follows
    // the text colour, clDarkText stays).
    QLabel* CreateLabel(const QString& text, const QRect& geometry, int32_t color = 0xFFFFFF,
                        QWidget* parent = nullptr);
    // A push button with the standard pictures.
    TImageButton* CreateButton(const QString& caption, const QRect& geometry,
                               QWidget* parent = nullptr);
    // A line edit on the skinned edit frame (the frame is its parent).
    QLineEdit* CreateEdit(const QRect& geometry, QWidget* parent = nullptr);
    // A multi-line text box on the same frame (the frame is its parent).
    QPlainTextEdit* CreateMemo(const QRect& geometry, QWidget* parent = nullptr);
    // The picture button over the right end of `combo`, whose own arrow is
    // clipped away: a click drops the list.
    TImageButton* CreateComboButton(QComboBox* combo);
    // The "OK" and "Cancel" buttons of a dialog and their invisible menu
    // items: Enter does what OK does, Escape what Cancel does.
    // Returns btnOk, btnCancel, miOk, miCancel.
    std::tuple<TImageButton*, TImageButton*, QAction*, QAction*> AddOkCancel(
        const QRect& okGeometry, const QRect& cancelGeometry, std::function<void()> onOk,
        std::function<void()> onCancel);
    // Sets the palette colour labels and buttons draw their text in.
    static void SetFontColor(QWidget* widget, int32_t color);

    TImagePanel* pnlHeader = nullptr;
    QLabel* imgIcon = nullptr;
    QLabel* lblCaption = nullptr;
    TImagePanel* pnlBody = nullptr;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // 0 shown normally; the main panel's auto-hide states block dragging.
    uint8_t FHideState = 0;
    // Where, in window coordinates, the last press on the header happened.
    QPoint FDragOrigin;

private:
    void HeaderMouseDown(QWidget* sender, QMouseEvent* event);
    void HeaderMouseMove(QWidget* sender, QMouseEvent* event);

    int32_t backgroundColor_ = 0;
    int alpha_ = 255;
    bool appearanceApplied_ = false;
    QWidget* pageControl_ = nullptr;
    QWidget* activePage_ = nullptr;
    std::vector<QWidget*> pages_;
};

}  // namespace tw
