#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QString>

#include "storage/MonitoredObjects.h"
#include "ui/BaseFRM.h"

class QAction;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QTimer;

// The three-page window in which the user adds web sites and applications
// to the time-limit list and checks or unchecks entries already on it. It
// never changes the list it is given: it hands back a result list that
// describes the edited list, and the caller applies it.
namespace tw {

class TAppDiscovery;
class TAppScan;
class TMonitoredListBox;
class TOptions;

class TfrmAppSiteAddWizard final : public TfrmBase {
    Q_OBJECT
public:
    // The discovery lives with the caller (the whole run, in the program).
    explicit TfrmAppSiteAddWizard(TAppDiscovery& discovery, QWidget* parent = nullptr);
    ~TfrmAppSiteAddWizard() override;

    // Shows the wizard modally over `currentList` (read only); `resultList`
    // describes the edited list whatever way the wizard was closed. All
    // three are required ("Assertion failure"). True when closed by Finish.
    bool Execute(TOptions* options, const TMonitoredList* currentList, TMonitoredList* resultList);

    // Adds the typed site (type 2, lbxSites) or application (type 1,
    // lbxApps); false when refused (the notice says why) or `name` is empty.
    bool AddEntry(TMonitoredListBox* listBox, TMonitoredItemType itemType, const QString& tag,
                  const QString& name);
    // Checks or unchecks the entry shown in a row of `listBox`; unchecking
    // an entry of the given list follows the access rules.
    void SetEntryChecked(TMonitoredItem* item, TMonitoredListBox* listBox, bool checked);

    // Test seam for "Browse": while set, it answers the prepared file dialog
    // instead of the user (the chosen file, or nullopt for Cancel).
    using TBrowseHook = std::function<std::optional<QString>(QFileDialog& dialog)>;
    static void SetBrowseHook(TBrowseHook hook);

    bool Scanning() const noexcept { return FScan != nullptr; }
    // One slice of the running scan. tmrScanStep runs it from the event
    // loop; tests call it to play that timer.
    void tmrScanStepTimer();

    // Pages.
    QWidget* tsMonitoredSites = nullptr;
    QWidget* tsAppProcesses = nullptr;
    QWidget* tsApps = nullptr;

    // Sites page.
    QLineEdit* edURL = nullptr;
    QLineEdit* edTag = nullptr;
    TImageButton* btnAdd = nullptr;
    TMonitoredListBox* lbxSites = nullptr;
    TImageButton* btnSites_Cancel = nullptr;
    TImageButton* btnSites_Next = nullptr;
    QAction* miSiteDelete = nullptr;

    // Scan page.
    QComboBox* cbxScanningAlghorithm = nullptr;
    TImageButton* btnScanningAlghorithm = nullptr;
    TImageButton* btnScan = nullptr;
    QLabel* lblFilter = nullptr;
    QLineEdit* edtFilter = nullptr;
    QProgressBar* ggScan = nullptr;
    TMonitoredListBox* lbxAppProcesses = nullptr;
    QPlainTextEdit* mmAppInfo = nullptr;
    TImageButton* btnAppProcessesBack = nullptr;
    TImageButton* btnAppProcessesNext = nullptr;
    QTimer* tmrEnumFolders = nullptr;
    QTimer* tmrScanStep = nullptr;  // single shot, 0 ms: the next slice of the scan

    // Applications-by-name page.
    QLineEdit* edApp = nullptr;
    QLineEdit* edAppTag = nullptr;
    TImageButton* btnBrowse = nullptr;
    TImageButton* btnAddApp = nullptr;
    TMonitoredListBox* lbxApps = nullptr;
    QPlainTextEdit* mmAppInfoApp = nullptr;
    TImageButton* btnAppBack = nullptr;
    TImageButton* btnFinish = nullptr;

    QAction* miNext = nullptr;
    QAction* miBack = nullptr;

public slots:
    // Closing drops a running scan with what it found.
    void done(int result) override;

private:
    void GoToPage(QWidget* sheet);
    void BuildResult();
    void RebuildAppsView();
    void RebuildScanView();
    void RefillApps();
    void RefillScan();
    void RefillSites();

    // When the user unchecks an entry of the given list: true to go on,
    // false when refused or when the entry was made inactive instead.
    bool AccessAllowsUncheck(TMonitoredItem& listEntry, TMonitoredItem& shown,
                             TMonitoredListBox* listBox);
    // The one final removal of the period is used by an entry unchecked in this run.
    bool RemovalPending() const;

    void btnAddClick();
    void btnAddAppClick();
    void btnBrowseClick();
    void btnScanClick();
    void btnScanningAlghorithmClick();
    void btnSites_CancelClick();
    void btnSites_NextClick();
    void btnAppProcessesBackClick();
    void btnAppProcessesNextClick();
    void btnAppBackClick();
    void btnFinishClick();
    void miNextClick();
    void miBackClick();
    void miSiteDeleteClick();
    void lbxDrawItem(TMonitoredListBox* list, QPainter& painter, int index, const QRect& rect,
                     bool selected);
    bool lbxMouseDown(TMonitoredListBox* list, const QPoint& pos);
    void lbxSitesDblClick(int row);
    void lbxAppsDblClick(int row);
    void lbxAppsItemIndexChange();
    void lbxAppProcessesItemIndexChange();
    void edtFilterKeyUp();
    void tmrEnumFoldersTimer();

    // The page as it is while no scan runs; drops the scan if one does.
    void EndScan();
    void FinishScan();
    void ShowScanProgress();

    bool eventFilter(QObject* watched, QEvent* event) override;

    TAppDiscovery& FDiscovery;
    TOptions* FOptions = nullptr;
    const TMonitoredList* FCurrentList = nullptr;
    TMonitoredList* FResultList = nullptr;
    TMonitoredList FExistingApps;
    TMonitoredList FSites;
    TMonitoredList FNamedApps;
    TMonitoredList FNamedUnchecked;
    TMonitoredList FScanPicked;
    TMonitoredList FScanAll;
    TMonitoredList FAppsView;
    TMonitoredList FScanView;
    bool FScanFirst = false;
    bool FNamedFirst = false;
    bool FDeleteActionUsed = false;
    std::unique_ptr<TAppScan> FScan;  // the running scan
};

}  // namespace tw
