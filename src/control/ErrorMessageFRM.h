#pragma once

#include <QString>

#include "ui/BaseFRM.h"

class QAction;
class QLabel;

// "Application Error": what the user sees of an error nothing else handled.
// The text only apologises; the error's message goes to the clipboard on
// request, so the user can send it to us.
namespace tw {

class TfrmErrorMessage final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmErrorMessage(QWidget* parent = nullptr);

    // Shows the window modally for the error with message `text`.
    void Execute(const QString& text);
    const QString& ErrorText() const noexcept { return FErrorText; }

    QLabel* lblDescription = nullptr;
    QLabel* lblRegister = nullptr;
    TImageButton* btnCopyErrorToClipboard = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void btnOkClick();
    void lblRegisterClick();
    void btnCopyErrorToClipboardClick();
    // Puts the link over the run of blanks the description leaves for it.
    void PlaceLink();

    QString FErrorText;
};

}  // namespace tw
