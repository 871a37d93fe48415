#pragma once

#include <QString>

#include "ui/BaseFRM.h"

class QAction;
class QLabel;

namespace tw {

// Asks before an entry leaves the time-limit list.
class TfrmDeleteConfirm final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmDeleteConfirm(QWidget* parent = nullptr);

    // The question for the entry captioned `text`; true when answered with OK.
    bool Execute(const QString& text);

    QLabel* lblDescription = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void CommonOkClick();
    void CommonCancelClick();
};

}  // namespace tw
