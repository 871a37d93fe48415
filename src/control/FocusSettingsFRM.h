#pragma once

#include <functional>

#include "base/DateTime.h"
#include "ui/BaseFRM.h"

class QAction;
class QLabel;
class QLineEdit;

// "Block Mode": the length of a focus period, written as one sentence
// ("Block all sites and applications on your list for hh:nn
// hours:minutes"). The words "your list" open the add wizard, whose
// entries go to a collecting list the caller merges into the time-limit
// list.
namespace tw {

class TAppDiscovery;
class TMonitoredList;
class TOptions;

class TfrmFocusSettings final : public TfrmBase {
    Q_OBJECT
public:
    // `checkSettingsAccess` guards the wizard (empty: always allowed); the
    // settings store and the discovery are the wizard's.
    TfrmFocusSettings(TOptions& options, TAppDiscovery& discovery,
                      std::function<bool()> checkSettingsAccess = {}, QWidget* parent = nullptr);

    // Shows the window with the period at 00:00; on OK (00:01 to 23:59)
    // writes the period as a fraction of a day and answers true. The
    // collecting list is required ("Assertion failure" of FocusSettingsFRM).
    bool Execute(TDateTime& period, TMonitoredList* collecting);

    QLabel* lblAppsDescription = nullptr;
    QLabel* lblTimeLimit = nullptr;
    QLabel* lblAppWizardLink = nullptr;
    QLineEdit* medTimeLimit = nullptr;
    QLabel* lblHoursMinutes = nullptr;
    QLabel* lblNote = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void btnOkClick();
    void btnCancelClick();
    void lblAppWizardLinkClick();

    TOptions& FOptions;
    TAppDiscovery& FDiscovery;
    std::function<bool()> FCheckSettingsAccess;
    TMonitoredList* FCollecting = nullptr;
};

}  // namespace tw
