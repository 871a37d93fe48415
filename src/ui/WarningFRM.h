#pragma once

#include <QString>

#include "ui/BaseFRM.h"

class QAction;
class QLabel;

namespace tw {

// The notice box: a title, a word-wrapped text and "OK"; Enter and Escape
// both close it with OK.
class TfrmWarning final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmWarning(QWidget* parent = nullptr);

    // Shows `text` under `title` ("Please Note", "Information") modally.
    void Execute(const QString& text, const QString& title);

    QLabel* lblWarning = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void CommonOkClick();
};

}  // namespace tw
