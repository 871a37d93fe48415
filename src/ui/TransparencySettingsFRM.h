#pragma once

#include <cstdint>

#include "ui/BaseFRM.h"

class QAction;
class QComboBox;
class QLabel;

namespace tw {

// Picks the panel's transparency, previewing each choice on the dialog
// itself and in the appearance file at once.
class TfrmTransparencySettings final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmTransparencySettings(QWidget* parent = nullptr);

    // True when closed with OK, the chosen percent then stored. Cancel (or
    // an error) stores the percent the dialog opened with again. Either way
    // the administrator is logged off.
    bool Execute();

    QLabel* lblTransparency = nullptr;
    QComboBox* cbxTransparency = nullptr;
    TImageButton* btnCombo = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void btnOkClick();
    void btnCancelClick();
    void cbxTransparencyChange();
    int SelectedPercent() const;

    int32_t FSavedTransparency = 0;
};

}  // namespace tw
