#include "ui/AppSiteAddWizardFRM.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "detection/AppDiscovery.h"
#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/PasswordCheckFRM.h"

namespace tw {

namespace {

// Header texts of the three pages.
const char kSitesCaption[] = "Add Websites to your time-limit list";
const char kScanCaption[] = "Add Applications by Scanning";
const char kAppsCaption[] = "Add Applications by Name";

const char kDuplicateTitle[] = "Please note";
const char kSiteAmongApps[] =
    "You have already added an application with the same filename. Please choose another URL.";
const char kSiteAmongSites[] =
    "You have already added an site with the same URL to the list. Please choose another URL.";
const char kAppAmongSites[] =
    "You have already added an site with the same URL to the list. Please choose filename.";
const char kAppAmongApps[] =
    "You have already added an application with the same filename. "
    "Please choose another filename.";

// Widths of the "Name" and "Type" header panels: the column rules follow them.
constexpr int kNameHeaderWidth = 264;
constexpr int kTypeHeaderWidth = 46;
// A press this close to a row's right edge toggles its check box.
constexpr int kCheckHotWidth = 18;
// The gauge creeps up to this while the folders are listed.
constexpr int kListingGauge = 15;

constexpr int kClientWidth = 356;
constexpr int kClientHeight = 607;
constexpr int kHeaderHeight = 32;

TfrmAppSiteAddWizard::TBrowseHook& BrowseHook() {
    static TfrmAppSiteAddWizard::TBrowseHook hook;
    return hook;
}

QLabel* CreateHeaderCell(QWidget* parent, const QString& text, const QRect& geometry) {
    auto* panel = new TImagePanel(parent);
    panel->SetBackground(ResourcePicture(QLatin1String(pictures::kListHeader)));
    panel->SetSides(4, 4);
    panel->setGeometry(geometry);
    auto* label = new QLabel(text, panel);
    label->setGeometry(4, 0, geometry.width() - 8, geometry.height());
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    TfrmBase::SetFontColor(label, clDarkText);
    return label;
}

// A list with its "Name" / "Type" header row above it.
TMonitoredListBox* CreateList(QWidget* page, int top, int height) {
    constexpr int left = 12, width = 332, headerHeight = 20;
    QLabel* name = CreateHeaderCell(page, QStringLiteral("Name"),
                                    QRect(left, top, kNameHeaderWidth, headerHeight));
    name->parentWidget()->setObjectName(QStringLiteral("pnlAppName"));
    QLabel* type =
        CreateHeaderCell(page, QStringLiteral("Type"),
                         QRect(left + kNameHeaderWidth, top, kTypeHeaderWidth, headerHeight));
    type->parentWidget()->setObjectName(QStringLiteral("pnlAppType"));
    CreateHeaderCell(page, QString(),
                     QRect(left + kNameHeaderWidth + kTypeHeaderWidth, top,
                           width - kNameHeaderWidth - kTypeHeaderWidth, headerHeight));
    auto* list = new TMonitoredListBox(page);
    list->setGeometry(left, top + headerHeight, width, height);
    list->SetItemHeight(16);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return list;
}

// The entry's caption is the list's sort key, so a new caption means a new place.
void RenameEntry(TMonitoredList& list, int index, const std::string& caption) {
    auto copy = std::make_unique<TMonitoredItem>();
    copy->Assign(*list.Items(index));
    copy->Caption = caption;
    list.Delete(index);
    list.Add(caption, std::move(copy));
}

// Moves the entry named `name` from `from` to `to` with its check mark set
// to `checked`; false when `from` has no such entry.
bool MoveEntry(TMonitoredList& from, TMonitoredList& to, const std::string& name, bool checked) {
    const int index = from.IndexOfName(name);
    if (index < 0) {
        return false;
    }
    auto copy = std::make_unique<TMonitoredItem>();
    copy->Assign(*from.Items(index));
    copy->Checked = checked;
    const std::string caption = from.Captions(index);
    from.Delete(index);
    to.Add(caption, std::move(copy));
    return true;
}

// Whether `list` holds an entry of `given` unchecked but still active: a
// removal the caller will carry out.
bool HoldsRemoval(const TMonitoredList& list, const TMonitoredList& given) {
    for (int i = 0; i < list.Count(); ++i) {
        const TMonitoredItem* item = list.Items(i);
        if (!item->Checked && item->Active && given.IndexOfName(item->Name) >= 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

TfrmAppSiteAddWizard::TfrmAppSiteAddWizard(TAppDiscovery& discovery, QWidget* parent)
    : TfrmBase(parent), FDiscovery(discovery) {
    setObjectName(QStringLiteral("frmAppSiteAddWizard"));
    resize(kClientWidth, kClientHeight);
    PageControl(QRect(0, kHeaderHeight, kClientWidth, kClientHeight - kHeaderHeight));

    // --- Sites ---
    tsMonitoredSites = AddPage();
    tsMonitoredSites->setObjectName(QStringLiteral("tsMonitoredSites"));
    CreateLabel(QStringLiteral("Website address (e.g. example.com):"), QRect(12, 8, 332, 18),
                clWhite, tsMonitoredSites);
    edURL = CreateEdit(QRect(12, 28, 332, 26), tsMonitoredSites);
    edURL->setObjectName(QStringLiteral("edURL"));
    CreateLabel(QStringLiteral("Tag (optional):"), QRect(12, 62, 236, 18), clWhite,
                tsMonitoredSites);
    edTag = CreateEdit(QRect(12, 82, 236, 26), tsMonitoredSites);
    edTag->setObjectName(QStringLiteral("edTag"));
    btnAdd = CreateButton(QStringLiteral("Add"), QRect(256, 79, 88, 32), tsMonitoredSites);
    btnAdd->setObjectName(QStringLiteral("btnAdd"));
    lbxSites = CreateList(tsMonitoredSites, 122, 386);
    lbxSites->setObjectName(QStringLiteral("lbxSites"));
    btnSites_Cancel =
        CreateButton(QStringLiteral("Cancel"), QRect(168, 532, 84, 32), tsMonitoredSites);
    btnSites_Cancel->setObjectName(QStringLiteral("btnSites_Cancel"));
    btnSites_Next =
        CreateButton(QStringLiteral("Next >"), QRect(260, 532, 84, 32), tsMonitoredSites);
    btnSites_Next->setObjectName(QStringLiteral("btnSites_Next"));
    miSiteDelete = new QAction(QStringLiteral("&Delete"), lbxSites);
    miSiteDelete->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Delete));
    miSiteDelete->setShortcutContext(Qt::WidgetShortcut);
    lbxSites->addAction(miSiteDelete);
    lbxSites->setContextMenuPolicy(Qt::ActionsContextMenu);

    // --- Scan ---
    tsAppProcesses = AddPage();
    tsAppProcesses->setObjectName(QStringLiteral("tsAppProcesses"));
    CreateLabel(QStringLiteral("Choose Scan Type:"), QRect(12, 8, 236, 18), clWhite,
                tsAppProcesses);
    cbxScanningAlghorithm = new QComboBox(tsAppProcesses);
    cbxScanningAlghorithm->setObjectName(QStringLiteral("cbxScanningAlghorithm"));
    cbxScanningAlghorithm->setGeometry(12, 28, 236, 26);
    cbxScanningAlghorithm->addItem(QStringLiteral("Fast (gets most programs)"));
    cbxScanningAlghorithm->addItem(QStringLiteral("Complete (far slower)"));
    cbxScanningAlghorithm->setCurrentIndex(0);
    btnScanningAlghorithm = new TImageButton(tsAppProcesses);
    btnScanningAlghorithm->setObjectName(QStringLiteral("btnScanningAlghorithm"));
    btnScanningAlghorithm->SetPictures(ResourcePicture(QLatin1String(pictures::kComboDown)),
                                       ResourcePicture(QLatin1String(pictures::kComboDownHover)),
                                       ResourcePicture(QLatin1String(pictures::kComboDownPressed)));
    btnScanningAlghorithm->SetSides(0, 0);
    btnScanningAlghorithm->setGeometry(cbxScanningAlghorithm->geometry().right() - 25, 28, 26, 26);
    btnScan = CreateButton(QStringLiteral("Scan"), QRect(256, 25, 88, 32), tsAppProcesses);
    btnScan->setObjectName(QStringLiteral("btnScan"));
    lblFilter =
        CreateLabel(QStringLiteral("Filter"), QRect(12, 62, 332, 18), clWhite, tsAppProcesses);
    lblFilter->setObjectName(QStringLiteral("lblFilter"));
    edtFilter = CreateEdit(QRect(12, 82, 332, 26), tsAppProcesses);
    edtFilter->setObjectName(QStringLiteral("edtFilter"));
    ggScan = new QProgressBar(tsAppProcesses);
    ggScan->setObjectName(QStringLiteral("ggScan"));
    ggScan->setGeometry(12, 82, 332, 26);
    ggScan->setRange(0, 100);
    ggScan->setValue(0);
    ggScan->hide();
    lbxAppProcesses = CreateList(tsAppProcesses, 116, 292);
    lbxAppProcesses->setObjectName(QStringLiteral("lbxAppProcesses"));
    CreateLabel(QStringLiteral("Application Info"), QRect(12, 434, 332, 18), clWhite,
                tsAppProcesses);
    mmAppInfo = CreateMemo(QRect(12, 454, 332, 70), tsAppProcesses);
    mmAppInfo->setReadOnly(true);
    mmAppInfo->setObjectName(QStringLiteral("mmAppInfo"));
    btnAppProcessesBack =
        CreateButton(QStringLiteral("< Back"), QRect(168, 532, 84, 32), tsAppProcesses);
    btnAppProcessesBack->setObjectName(QStringLiteral("btnAppProcessesBack"));
    btnAppProcessesNext =
        CreateButton(QStringLiteral("Next >"), QRect(260, 532, 84, 32), tsAppProcesses);
    btnAppProcessesNext->setObjectName(QStringLiteral("btnAppProcessesNext"));
    tmrEnumFolders = new QTimer(this);
    tmrEnumFolders->setObjectName(QStringLiteral("tmrEnumFolders"));
    tmrEnumFolders->setInterval(1000);
    tmrEnumFolders->setSingleShot(true);
    tmrScanStep = new QTimer(this);
    tmrScanStep->setObjectName(QStringLiteral("tmrScanStep"));
    tmrScanStep->setInterval(0);
    tmrScanStep->setSingleShot(true);

    // --- Applications by name ---
    tsApps = AddPage();
    tsApps->setObjectName(QStringLiteral("tsApps"));
    QLabel* hint = CreateLabel(
        QStringLiteral("Filename eg excel.exe or file address ex. c:/program files/excel.exe"),
        QRect(12, 4, 332, 34), clWhite, tsApps);
    hint->setWordWrap(true);
    edApp = CreateEdit(QRect(12, 40, 332, 26), tsApps);
    edApp->setObjectName(QStringLiteral("edApp"));
    CreateLabel(QStringLiteral("Tag (optional):"), QRect(12, 72, 144, 18), clWhite, tsApps);
    edAppTag = CreateEdit(QRect(12, 92, 144, 26), tsApps);
    edAppTag->setObjectName(QStringLiteral("edAppTag"));
    btnBrowse = CreateButton(QStringLiteral("Browse"), QRect(162, 89, 88, 32), tsApps);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnAddApp = CreateButton(QStringLiteral("Add"), QRect(256, 89, 88, 32), tsApps);
    btnAddApp->setObjectName(QStringLiteral("btnAddApp"));
    lbxApps = CreateList(tsApps, 128, 280);
    lbxApps->setObjectName(QStringLiteral("lbxApps"));
    CreateLabel(QStringLiteral("Application Info"), QRect(12, 434, 332, 18), clWhite, tsApps);
    mmAppInfoApp = CreateMemo(QRect(12, 454, 332, 70), tsApps);
    mmAppInfoApp->setReadOnly(true);
    mmAppInfoApp->setObjectName(QStringLiteral("mmAppInfoApp"));
    btnAppBack = CreateButton(QStringLiteral("< Back"), QRect(168, 532, 84, 32), tsApps);
    btnAppBack->setObjectName(QStringLiteral("btnAppBack"));
    btnFinish = CreateButton(QStringLiteral("Finish"), QRect(260, 532, 84, 32), tsApps);
    btnFinish->setObjectName(QStringLiteral("btnFinish"));

    // --- Handlers ---
    connect(btnAdd, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnAddClick);
    connect(btnAddApp, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnAddAppClick);
    connect(btnBrowse, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnBrowseClick);
    connect(btnScan, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnScanClick);
    connect(btnScanningAlghorithm, &TImageButton::clicked, this,
            &TfrmAppSiteAddWizard::btnScanningAlghorithmClick);
    connect(btnSites_Cancel, &TImageButton::clicked, this,
            &TfrmAppSiteAddWizard::btnSites_CancelClick);
    connect(btnSites_Next, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnSites_NextClick);
    connect(btnAppProcessesBack, &TImageButton::clicked, this,
            &TfrmAppSiteAddWizard::btnAppProcessesBackClick);
    connect(btnAppProcessesNext, &TImageButton::clicked, this,
            &TfrmAppSiteAddWizard::btnAppProcessesNextClick);
    connect(btnAppBack, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnAppBackClick);
    connect(btnFinish, &TImageButton::clicked, this, &TfrmAppSiteAddWizard::btnFinishClick);
    connect(miSiteDelete, &QAction::triggered, this, &TfrmAppSiteAddWizard::miSiteDeleteClick);
    connect(tmrEnumFolders, &QTimer::timeout, this, &TfrmAppSiteAddWizard::tmrEnumFoldersTimer);
    connect(tmrScanStep, &QTimer::timeout, this, &TfrmAppSiteAddWizard::tmrScanStepTimer);
    connect(lbxApps, &QListWidget::currentRowChanged, this,
            &TfrmAppSiteAddWizard::lbxAppsItemIndexChange);
    connect(lbxAppProcesses, &QListWidget::currentRowChanged, this,
            &TfrmAppSiteAddWizard::lbxAppProcessesItemIndexChange);
    for (TMonitoredListBox* list : {lbxSites, lbxAppProcesses, lbxApps}) {
        list->SetDrawItem(
            [this, list](QPainter& painter, int index, const QRect& rect, bool selected) {
                lbxDrawItem(list, painter, index, rect, selected);
            });
        list->viewport()->installEventFilter(this);
    }
    edtFilter->installEventFilter(this);
    miNext = AddKeyAction(QStringLiteral("Next"),
                          {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                          [this] { miNextClick(); });
    miBack = AddKeyAction(QStringLiteral("Back"), {QKeySequence(Qt::Key_Escape)},
                          [this] { miBackClick(); });

    GoToPage(tsMonitoredSites);
}

TfrmAppSiteAddWizard::~TfrmAppSiteAddWizard() {
    EndScan();
    // The rows point into the lists, which go before the list boxes do.
    for (TMonitoredListBox* list : {lbxSites, lbxAppProcesses, lbxApps}) {
        list->clear();
    }
}

void TfrmAppSiteAddWizard::SetBrowseHook(TBrowseHook hook) {
    BrowseHook() = std::move(hook);
}

bool TfrmAppSiteAddWizard::Execute(TOptions* options, const TMonitoredList* currentList,
                                   TMonitoredList* resultList) {
    Require(options != nullptr && currentList != nullptr && resultList != nullptr,
            "AppSiteAddWizardFRM");
    FOptions = options;
    FCurrentList = currentList;
    FResultList = resultList;
    FExistingApps.AssignFrom(FCurrentList, mitApplication, "");
    FSites.AssignFrom(FCurrentList, mitWebSite, "");
    for (TMonitoredList* list : {&FExistingApps, &FSites}) {
        for (int i = 0; i < list->Count(); ++i) {
            list->Items(i)->Checked = true;
        }
    }
    RefillSites();
    GoToPage(tsMonitoredSites);
    return ShowModal();
}

// --- Pages ---

void TfrmAppSiteAddWizard::GoToPage(QWidget* sheet) {
    if (sheet == tsMonitoredSites) {
        setWindowTitle(QLatin1String(kSitesCaption));
    } else if (sheet == tsAppProcesses) {
        setWindowTitle(QLatin1String(kScanCaption));
    } else {
        setWindowTitle(QLatin1String(kAppsCaption));
    }
    RestorePages();
    ShowPage(sheet);
}

void TfrmAppSiteAddWizard::done(int result) {
    EndScan();
    // A removal handed back counts, whichever way the wizard closes.
    if (FDeleteActionUsed && FOptions != nullptr &&
        HoldsRemoval(*FResultList, FOptions->MonitoredList())) {
        FOptions->SetMonitoredItemDeleteActionProcessed(true);
    }
    TfrmBase::done(result);
}

// --- Lists ---

void TfrmAppSiteAddWizard::BuildResult() {
    FResultList->AssignFrom(&FExistingApps, mitAll, "");
    FResultList->AddMissing(&FSites, "");
    FResultList->AddMissing(&FNamedApps, "");
    FResultList->AddMissing(&FScanPicked, "");
}

void TfrmAppSiteAddWizard::RebuildAppsView() {
    FAppsView.AssignFrom(&FExistingApps, mitAll, "");
    if (FScanFirst) {
        FAppsView.AddMissing(&FScanPicked, "");
        FAppsView.AddMissing(&FNamedApps, "");
        FAppsView.AddMissing(&FNamedUnchecked, "");
    } else {
        FAppsView.AddMissing(&FNamedApps, "");
        FAppsView.AddMissing(&FNamedUnchecked, "");
        FAppsView.AddMissing(&FScanPicked, "");
    }
}

void TfrmAppSiteAddWizard::RebuildScanView() {
    const std::string filter = edtFilter->text().toStdString();
    FScanView.AssignFrom(&FExistingApps, mitAll, filter);
    if (FNamedFirst) {
        FScanView.AddMissing(&FNamedApps, filter);
        FScanView.AddMissing(&FScanPicked, filter);
        FScanView.AddMissing(&FScanAll, filter);
    } else {
        FScanView.AddMissing(&FScanPicked, filter);
        FScanView.AddMissing(&FScanAll, filter);
        FScanView.AddMissing(&FNamedApps, filter);
    }
}

// A view's rows point at its entries: every rebuild is followed by a refill
// at once, so no row outlives the entry it shows.
void TfrmAppSiteAddWizard::RefillApps() {
    RebuildAppsView();
    FillListBox(*lbxApps, FAppsView, mitApplication);
    PadListBox(lbxApps);
}

void TfrmAppSiteAddWizard::RefillScan() {
    RebuildScanView();
    FillListBox(*lbxAppProcesses, FScanView, mitApplication);
    PadListBox(lbxAppProcesses);
    lbxAppProcesses->viewport()->update();
}

void TfrmAppSiteAddWizard::RefillSites() {
    FillListBox(*lbxSites, FSites, mitWebSite);
    PadListBox(lbxSites);
}

// --- Adding ---

bool TfrmAppSiteAddWizard::AddEntry(TMonitoredListBox* listBox, TMonitoredItemType itemType,
                                    const QString& tag, const QString& name) {
    // A blank name could never match anything the probe reports.
    if (name.trimmed().isEmpty()) {
        return false;
    }
    if (itemType != mitApplication && itemType != mitWebSite) {
        char message[64];
        std::snprintf(message, sizeof message, "AMonitoredItemType type = %d is not allowed",
                      int(itemType));
        throw Exception(message);
    }
    RefillApps();
    auto entry = std::make_unique<TMonitoredItem>();
    const QString trimmedTag = tag.trimmed();
    entry->Caption = (trimmedTag.isEmpty() ? name : trimmedTag).toStdString();
    entry->Name = name.toStdString();
    entry->Checked = true;
    entry->Active = true;
    entry->ItemType = itemType;
    const bool site = itemType == mitWebSite;
    TMonitoredList& home = site ? FSites : FAppsView;

    BuildResult();
    bool added = false;
    int listed = -1;
    switch (FResultList->CheckItem(entry.get(), listed)) {
        case csNotListed: {
            const std::string caption = entry->Caption;
            (site ? FSites : FNamedApps).Add(caption, std::move(entry));
            added = true;
            break;
        }
        case csListedChecked: {
            TMonitoredList* found = &home;
            int index = home.IndexOfName(entry->Name);
            if (index < 0) {
                found = site ? &FAppsView : &FSites;
                index = found->IndexOfName(entry->Name);
            }
            const bool foundSite = found == &FSites;
            if (index >= 0 && found->Items(index)->Caption != entry->Caption) {
                if (foundSite) {
                    RenameEntry(FSites, index, entry->Caption);
                } else {
                    for (TMonitoredList* list : {&FScanPicked, &FNamedApps, &FExistingApps}) {
                        const int at = list->IndexOfName(entry->Name);
                        if (at >= 0) {
                            RenameEntry(*list, at, entry->Caption);
                            break;
                        }
                    }
                }
                added = true;
                break;
            }
            const char* text = site ? (foundSite ? kSiteAmongSites : kSiteAmongApps)
                                    : (foundSite ? kAppAmongSites : kAppAmongApps);
            ShowWarning(QLatin1String(text), QLatin1String(kDuplicateTitle), this);
            break;
        }
        case csSelf:
            ShowWarning(QStringLiteral("\"%1\" could not be added to time-limit list")
                            .arg(QString::fromStdString(ExeBaseName())),
                        QStringLiteral("Please Note"), this);
            break;
        case csListedInactive: {
            TMonitoredList& list = site ? FSites : FExistingApps;
            const int index = list.IndexOfName(entry->Name);
            if (index >= 0) {
                list.Items(index)->Active = true;
                list.Items(index)->Checked = true;
                added = true;
            }
            break;
        }
        case csListedUnchecked:
            if (site) {
                const int index = FSites.IndexOfName(entry->Name);
                if (index >= 0) {
                    FSites.Items(index)->Checked = true;
                }
            } else if (!MoveEntry(FNamedUnchecked, FNamedApps, entry->Name, true)) {
                MoveEntry(FScanAll, FScanPicked, entry->Name, true);
            }
            added = true;
            break;
    }
    if (added) {
        // So that "Cancel" still hands back what was added.
        BuildResult();
    }
    if (listBox == lbxSites) {
        RefillSites();
    }
    RefillApps();
    return added;
}

// --- Checking ---

bool TfrmAppSiteAddWizard::AccessAllowsUncheck(TMonitoredItem& listEntry, TMonitoredItem& shown,
                                               TMonitoredListBox* listBox) {
    switch (FOptions->AccessLevel()) {
        case 2:
            return true;
        case 1:
            // One final removal per period: once it is used, here or in an
            // earlier run, a removal only makes the entry inactive.
            if (FOptions->MonitoredItemDeleteActionProcessed || RemovalPending()) {
                listEntry.Active = false;
                shown.Active = false;
                shown.Checked = false;
                listBox->clearSelection();
                listBox->viewport()->update();
                return false;
            }
            FDeleteActionUsed = true;
            return true;
        default:
            return CheckAdminPassword(this);
    }
}

bool TfrmAppSiteAddWizard::RemovalPending() const {
    const TMonitoredList& given = FOptions->MonitoredList();
    return HoldsRemoval(FExistingApps, given) || HoldsRemoval(FSites, given);
}

void TfrmAppSiteAddWizard::SetEntryChecked(TMonitoredItem* item, TMonitoredListBox* listBox,
                                           bool checked) {
    if (item == nullptr) {
        return;
    }
    if (listBox == lbxSites) {
        if (checked) {
            item->Checked = true;
            item->Active = true;
        } else if (FOptions->MonitoredList().IndexOfName(item->Name) < 0) {
            item->Checked = false;
        } else {
            const int index = FSites.IndexOfName(item->Name);
            if (index >= 0) {
                TMonitoredItem& site = *FSites.Items(index);
                if (AccessAllowsUncheck(site, *item, listBox)) {
                    site.Checked = false;
                    item->Checked = false;
                }
            }
        }
    } else {
        const int existing = FExistingApps.IndexOfName(item->Name);
        if (checked) {
            if (existing < 0) {
                if (!MoveEntry(FScanAll, FScanPicked, item->Name, true)) {
                    MoveEntry(FNamedUnchecked, FNamedApps, item->Name, true);
                }
            } else {
                FExistingApps.Items(existing)->Checked = true;
                FExistingApps.Items(existing)->Active = true;
            }
            item->Checked = true;
            item->Active = true;
        } else if (existing < 0) {
            if (!MoveEntry(FScanPicked, FScanAll, item->Name, false)) {
                MoveEntry(FNamedApps, FNamedUnchecked, item->Name, false);
            }
            item->Checked = false;
        } else {
            TMonitoredItem& app = *FExistingApps.Items(existing);
            if (AccessAllowsUncheck(app, *item, listBox)) {
                app.Checked = false;
                item->Checked = false;
            }
        }
    }
    listBox->viewport()->update();
}

// --- Buttons and keys ---

void TfrmAppSiteAddWizard::btnAddClick() {
    if (AddEntry(lbxSites, mitWebSite, edTag->text(), edURL->text())) {
        edTag->clear();
        edURL->clear();
    }
}

void TfrmAppSiteAddWizard::btnAddAppClick() {
    if (AddEntry(lbxApps, mitApplication, edAppTag->text(), edApp->text())) {
        edAppTag->clear();
        edApp->clear();
        if (!FScanFirst) {
            FNamedFirst = true;
        }
    }
}

void TfrmAppSiteAddWizard::btnBrowseClick() {
    SetRoundRegion(this);
    ClipComboButtons(this);
    // Programs here carry no extension: the dialog lists the files the user
    // may run, and says so in its filter name.
    QFileDialog odFile(this, QStringLiteral("Open"));
    odFile.setObjectName(QStringLiteral("odFile"));
    odFile.setOption(QFileDialog::DontUseNativeDialog);
    odFile.setFileMode(QFileDialog::ExistingFile);
    odFile.setAcceptMode(QFileDialog::AcceptOpen);
    odFile.setNameFilter(QStringLiteral("Executable Files (*)"));
    odFile.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
    std::optional<QString> chosen;
    if (BrowseHook()) {
        chosen = BrowseHook()(odFile);
    } else if (odFile.exec() == QDialog::Accepted && !odFile.selectedFiles().isEmpty()) {
        chosen = odFile.selectedFiles().constFirst();
    }
    if (!chosen || chosen->isEmpty()) {
        return;
    }
    // The probe reports the program file itself, links resolved.
    const QString real = QFileInfo(*chosen).canonicalFilePath();
    const QString path = real.isEmpty() ? *chosen : real;
    edApp->setText(path);
    edAppTag->setText(QString::fromStdString(FDiscovery.GetExeDisplayName(path.toStdString())));
}

void TfrmAppSiteAddWizard::btnScanningAlghorithmClick() {
    if (cbxScanningAlghorithm->view()->isVisible()) {
        cbxScanningAlghorithm->hidePopup();
    } else {
        cbxScanningAlghorithm->showPopup();
    }
}

void TfrmAppSiteAddWizard::btnSites_CancelClick() {
    reject();
}

void TfrmAppSiteAddWizard::btnSites_NextClick() {
    RefillScan();
    GoToPage(tsAppProcesses);
}

void TfrmAppSiteAddWizard::btnAppProcessesBackClick() {
    if (Scanning()) {
        return;
    }
    GoToPage(tsMonitoredSites);
}

void TfrmAppSiteAddWizard::btnAppProcessesNextClick() {
    if (Scanning()) {
        return;
    }
    RefillApps();
    GoToPage(tsApps);
}

void TfrmAppSiteAddWizard::btnAppBackClick() {
    RefillScan();
    GoToPage(tsAppProcesses);
}

void TfrmAppSiteAddWizard::btnFinishClick() {
    BuildResult();
    accept();
}

void TfrmAppSiteAddWizard::miNextClick() {
    if (ActivePage() == tsMonitoredSites) {
        btnAddClick();
    } else if (ActivePage() == tsAppProcesses) {
        btnAppProcessesNextClick();
    } else if (ActivePage() == tsApps) {
        btnFinishClick();
    }
}

void TfrmAppSiteAddWizard::miBackClick() {
    if (FScan) {
        // Escape during a scan stops it rather than leaving the page under it.
        FScan->Stop();
    } else if (ActivePage() == tsMonitoredSites) {
        btnSites_CancelClick();
    } else if (ActivePage() == tsAppProcesses) {
        btnAppProcessesBackClick();
    } else if (ActivePage() == tsApps) {
        btnAppBackClick();
    }
}

void TfrmAppSiteAddWizard::miSiteDeleteClick() {
    const QList<QListWidgetItem*> selected = lbxSites->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int row = lbxSites->row(selected.constFirst());
    TMonitoredItem* item = lbxSites->Item(row);
    if (item == nullptr) {
        return;
    }
    if (FOptions->MonitoredList().IndexOfName(item->Name) < 0) {
        const int index = FSites.IndexOfName(item->Name);
        if (index >= 0) {
            FSites.Delete(index);
        }
        RefillSites();
        // A site deleted outright is no longer handed back on "Cancel" either.
        BuildResult();
        lbxSites->clearSelection();
        lbxSites->setCurrentRow(row);
    } else {
        SetEntryChecked(item, lbxSites, false);
        lbxSites->setCurrentRow(row);
    }
}

// --- Lists: drawing, mouse, keys ---

void TfrmAppSiteAddWizard::lbxDrawItem(TMonitoredListBox* list, QPainter& painter, int index,
                                       const QRect& rect, bool selected) {
    FillRowStripe(painter, index, rect, selected);
    const int nameRule = rect.left() + kNameHeaderWidth - 6;
    const int typeRule = nameRule + 4 + kTypeHeaderWidth;
    DrawColumnRule(painter, nameRule, rect);
    DrawColumnRule(painter, typeRule, rect);
    if (index == list->count() - 1) {
        DrawBottomRule(painter, rect);
    }
    const QString caption = list->Caption(index);
    const TMonitoredItem* item = list->Item(index);
    if (caption.isEmpty() || item == nullptr) {
        return;
    }
    DrawCellText(painter,
                 QRect(rect.left() + 2, rect.top(), nameRule - rect.left() - 4, rect.height()),
                 caption, Qt::AlignLeft);
    DrawCellText(painter, QRect(nameRule + 1, rect.top(), typeRule - nameRule - 2, rect.height()),
                 QLatin1Char(' ') + QLatin1String(item->TypeName()), Qt::AlignLeft);
    DrawCheckCell(painter, rect, item->Checked);
}

bool TfrmAppSiteAddWizard::lbxMouseDown(TMonitoredListBox* list, const QPoint& pos) {
    const int row = list->indexAt(pos).row();
    TMonitoredItem* item = list->Item(row);
    if (item == nullptr || list->Caption(row).isEmpty()) {
        return false;
    }
    const QRect rect = list->visualItemRect(list->item(row));
    if (pos.x() < rect.left() + rect.width() - kCheckHotWidth) {
        return false;
    }
    SetEntryChecked(item, list, !item->Checked);
    list->clearSelection();
    list->setCurrentRow(row);
    return true;
}

void TfrmAppSiteAddWizard::lbxSitesDblClick(int row) {
    const TMonitoredItem* item = lbxSites->Item(row);
    if (item == nullptr) {
        return;
    }
    edURL->setText(QString::fromStdString(item->Name));
    edTag->setText(item->Caption != item->Name ? QString::fromStdString(item->Caption) : QString());
}

void TfrmAppSiteAddWizard::lbxAppsDblClick(int row) {
    const TMonitoredItem* item = lbxApps->Item(row);
    if (item == nullptr) {
        return;
    }
    edApp->setText(QString::fromStdString(item->Name));
    edAppTag->setText(item->Caption != item->Name ? QString::fromStdString(item->Caption)
                                                  : QString());
}

namespace {

void ShowInfo(QPlainTextEdit* memo, const TMonitoredListBox* list) {
    memo->clear();
    const TMonitoredItem* item = list->Item(list->currentRow());
    if (item != nullptr) {
        memo->setPlainText(QString::fromStdString(item->Caption) + QLatin1Char('\n') +
                           QString::fromStdString(item->Name));
    }
}

}  // namespace

void TfrmAppSiteAddWizard::lbxAppsItemIndexChange() {
    ShowInfo(mmAppInfoApp, lbxApps);
}

void TfrmAppSiteAddWizard::lbxAppProcessesItemIndexChange() {
    ShowInfo(mmAppInfo, lbxAppProcesses);
}

void TfrmAppSiteAddWizard::edtFilterKeyUp() {
    RefillScan();
}

bool TfrmAppSiteAddWizard::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edtFilter && event->type() == QEvent::KeyRelease) {
        edtFilterKeyUp();
    }
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool doubleClick = event->type() == QEvent::MouseButtonDblClick;
    for (TMonitoredListBox* list : {lbxSites, lbxAppProcesses, lbxApps}) {
        if (watched != list->viewport() || !(press || doubleClick)) {
            continue;
        }
        const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
        if (press && lbxMouseDown(list, pos)) {
            return true;
        }
        if (doubleClick) {
            const int row = list->indexAt(pos).row();
            if (list == lbxSites) {
                lbxSitesDblClick(row);
            } else if (list == lbxApps) {
                lbxAppsDblClick(row);
            }
        }
    }
    return TfrmBase::eventFilter(watched, event);
}

// --- Scanning ---

void TfrmAppSiteAddWizard::btnScanClick() {
    if (FScan) {
        FScan->Stop();
        return;
    }
    if (!FNamedFirst) {
        FScanFirst = true;
    }
    FScan = std::make_unique<TAppScan>(FDiscovery, cbxScanningAlghorithm->currentIndex() == 1
                                                       ? TAppScan::TKind::Complete
                                                       : TAppScan::TKind::Fast);
    // Busy, yet "Stop" and the window stay usable while the scan runs.
    QApplication::setOverrideCursor(Qt::BusyCursor);
    lbxAppProcesses->BeginUpdate();
    lblFilter->setText(QStringLiteral("Progress"));
    edtFilter->hide();
    ggScan->setValue(0);
    ggScan->show();
    btnScan->SetCaption(QStringLiteral("Stop"));
    btnAppProcessesBack->setEnabled(false);
    btnAppProcessesNext->setEnabled(false);
    FScanAll.Clear();
    lbxAppProcesses->clear();
    lbxAppProcesses->EndUpdate();
    tmrEnumFolders->start();
    // The scan runs from the event loop, a slice at a time, so this handler
    // and every later one return at once.
    tmrScanStep->start();
}

void TfrmAppSiteAddWizard::tmrScanStepTimer() {
    // Stopped first: a test playing the timer must not leave it armed.
    tmrScanStep->stop();
    if (!FScan) {
        return;
    }
    try {
        if (!FScan->Step()) {
            FinishScan();
            return;
        }
    } catch (const Exception& e) {
        // The scan is a user command; its failure is reported, not fatal.
        LogException(e, "; TfrmAppSiteAddWizard.tmrScanStepTimer: ");
        EndScan();
        RefillScan();
        ShowWarning(QString::fromStdString(e.Message()), QStringLiteral("Application Error"), this);
        return;
    } catch (...) {
        EndScan();
        RefillScan();
        throw;
    }
    tmrScanStep->start();
    ShowScanProgress();
}

void TfrmAppSiteAddWizard::FinishScan() {
    // The lines of the search, then the running programs; a name already
    // there is skipped.
    AddApplicationsFromStrings(FScan->Found(), FScanAll);
    AddApplicationsFromStrings(FScan->Running(), FScanAll);
    RefillScan();
    ggScan->setValue(100);
    EndScan();
}

void TfrmAppSiteAddWizard::EndScan() {
    if (!FScan) {
        return;
    }
    tmrScanStep->stop();
    tmrEnumFolders->stop();
    FScan.reset();
    btnScan->SetCaption(QStringLiteral("Scan"));
    ggScan->hide();
    lblFilter->setText(QStringLiteral("Filter"));
    edtFilter->show();
    btnAppProcessesBack->setEnabled(true);
    btnAppProcessesNext->setEnabled(true);
    QApplication::restoreOverrideCursor();
}

void TfrmAppSiteAddWizard::ShowScanProgress() {
    // Until the search enters a folder the gauge creeps on its own timer.
    const int32_t entered = FScan->FoldersEntered();
    if (entered == 0) {
        return;
    }
    const int32_t total = FScan->FolderTotal();
    ggScan->setValue(
        total == 0
            ? 0
            : std::min(kListingGauge + int(int64_t(entered) * (100 - kListingGauge) / total), 100));
}

void TfrmAppSiteAddWizard::tmrEnumFoldersTimer() {
    tmrEnumFolders->stop();
    if (ggScan->value() >= kListingGauge) {
        return;
    }
    ggScan->setValue(ggScan->value() + 1);
    tmrEnumFolders->start();
}

}  // namespace tw
