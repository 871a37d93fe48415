#include "control/ErrorMessageFRM.h"

#include <functional>
#include <utility>

#include <QAction>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTextLayout>
#include <QTextOption>

#include "ui/Colors.h"
#include "ui/ImageControls.h"
#include "ui/VendorLinks.h"

namespace tw {

namespace {

constexpr int kWidth = 400;
constexpr char kDescription[] =
    "Sorry: The application has a hiccup. Please continue. If you see this message again then "
    "                  with a copy of the error message. Apologies for any inconvenience.";
// The words around the run of blanks the link is laid over.
constexpr char kBeforeGap[] = "again then ";
constexpr char kAfterGap[] = "with a copy";

}  // namespace

TfrmErrorMessage::TfrmErrorMessage(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Application Error"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    lblDescription =
        CreateLabel(QLatin1String(kDescription), QRect(12, 42, kWidth - 24, 66), clWhite);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblRegister = CreateLabel(QStringLiteral("contact us"), QRect(), clWhite);
    lblRegister->setObjectName(QStringLiteral("lblRegister"));
    QFont linkFont = lblRegister->font();
    linkFont.setUnderline(true);
    // In bold the link would not fit the gap.
    linkFont.setBold(false);
    lblRegister->setFont(linkFont);
    lblRegister->setCursor(Qt::PointingHandCursor);
    OnClick(lblRegister, [this] { lblRegisterClick(); });
    PlaceLink();
    btnCopyErrorToClipboard =
        CreateButton(QStringLiteral("Copy Error to Clipboard"), QRect(12, 116, 180, 32));
    btnCopyErrorToClipboard->setObjectName(QStringLiteral("btnCopyErrorToClipboard"));
    connect(btnCopyErrorToClipboard, &TImageButton::clicked, this,
            &TfrmErrorMessage::btnCopyErrorToClipboardClick);
    btnOk = CreateButton(QStringLiteral("OK"), QRect(kWidth - 97, 116, 85, 32));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    connect(btnOk, &TImageButton::clicked, this, &TfrmErrorMessage::btnOkClick);
    miOk = AddKeyAction(QStringLiteral("OK"),
                        {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                        [this] { btnOkClick(); });
    miCancel = AddKeyAction(QStringLiteral("Cancel"), {QKeySequence(Qt::Key_Escape)},
                            [this] { btnOkClick(); });
    resize(kWidth, 160);
}

void TfrmErrorMessage::Execute(const QString& text) {
    FErrorText = text;
    lblCaption->setText(QStringLiteral("Application Error"));
    ShowModal();
}

void TfrmErrorMessage::PlaceLink() {
    // Lays the description out as the word-wrapped label draws it, to find
    // where its gap lands; the link goes in the middle of the gap.
    const QString text = lblDescription->text();
    const QFontMetrics metrics(lblDescription->font());
    QTextLayout layout(text, lblDescription->font());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    const int gapStart =
        int(text.indexOf(QLatin1String(kBeforeGap)) + qsizetype(sizeof kBeforeGap) - 2);
    const int gapEnd = int(text.indexOf(QLatin1String(kAfterGap), gapStart));
    const QSize size(QFontMetrics(lblRegister->font()).horizontalAdvance(lblRegister->text()) + 2,
                     metrics.height());
    qreal y = 0;
    QPoint at;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lblDescription->width());
        y += metrics.leading();
        line.setPosition(QPointF(0, y));
        const int lineEnd = line.textStart() + line.textLength();
        if (gapStart >= line.textStart() && gapStart < lineEnd) {
            const qreal left = line.cursorToX(gapStart);
            // A gap broken over two lines: the link starts where it starts.
            const qreal right = gapEnd < lineEnd ? line.cursorToX(gapEnd) : left + size.width();
            at = QPoint(int(left + (right - left - size.width()) / 2), int(y));
        }
        y += line.height();
    }
    layout.endLayout();
    lblRegister->setGeometry(QRect(lblDescription->pos() + at, size));
}

void TfrmErrorMessage::btnOkClick() {
    accept();
}

void TfrmErrorMessage::lblRegisterClick() {
    OpenLink(VendorLink(kContactPage));
}

void TfrmErrorMessage::btnCopyErrorToClipboardClick() {
    QGuiApplication::clipboard()->setText(FErrorText);
}

}  // namespace tw
