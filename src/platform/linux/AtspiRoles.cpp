// How AT-SPI roles and states read as the MSAA ones the address walk knows.
#include "platform/linux/AtspiAccessibility.h"

// libatspi pulls in GLib; its headers come after the standard ones.
#include <atspi/atspi.h>

namespace tw {

namespace {

// MSAA roles and states the mapping produces.
enum MsaaRole : int32_t {
    kRoleTitleBar = 1,
    kRoleMenuBar = 2,
    kRoleScrollBar = 3,
    kRoleAlert = 8,
    kRoleWindow = 9,
    kRoleClient = 10,
    kRoleMenuPopup = 11,
    kRoleMenuItem = 12,
    kRoleToolTip = 13,
    kRoleApplication = 14,
    kRoleDocument = 15,
    kRolePane = 16,
    kRoleDialog = 18,
    kRoleSeparator = 21,
    kRoleToolBar = 22,
    kRoleStatusBar = 23,
    kRoleTable = 24,
    kRoleColumnHeader = 25,
    kRoleRowHeader = 26,
    kRoleRow = 28,
    kRoleCell = 29,
    kRoleLink = 30,
    kRoleList = 33,
    kRoleListItem = 34,
    kRoleOutline = 35,
    kRoleOutlineItem = 36,
    kRolePageTab = 37,
    kRoleGraphic = 40,
    kRoleStaticText = 41,
    kRoleText = kRoleSystemText,
    kRolePushButton = 43,
    kRoleCheckButton = 44,
    kRoleRadioButton = 45,
    kRoleComboBox = 46,
    kRoleProgressBar = 48,
    kRoleSlider = 51,
    kRoleSpinButton = 52,
    kRolePageTabList = 60,
    kRoleGrouping = 20,
};

enum MsaaState : int32_t {
    kStateUnavailable = 0x1,
    kStateSelected = 0x2,
    kStateFocused = kStateSystemFocused,
    kStatePressed = 0x8,
    kStateChecked = 0x10,
    kStateMixed = 0x20,
    kStateReadOnly = 0x40,
    kStateDefault = 0x100,
    kStateExpanded = 0x200,
    kStateCollapsed = 0x400,
    kStateBusy = 0x800,
    kStateAnimated = 0x4000,
    kStateInvisible = 0x8000,
    kStateOffscreen = 0x10000,
    kStateSizeable = 0x20000,
    kStateMoveable = 0x40000,
    kStateFocusable = kStateSystemFocusable,
    kStateSelectable = 0x200000,
    kStateLinked = 0x400000,
    kStateMultiSelectable = 0x1000000,
    kStateProtected = 0x20000000,
    kStateHasPopup = 0x40000000,
};

}  // namespace

bool AtspiRoleMayBeTextField(int atspiRole) noexcept {
    switch (atspiRole) {
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_EDITBAR:
            return true;
        default:
            return false;
    }
}

int32_t MsaaRoleFromAtspi(int atspiRole, bool editable, bool singleLine) noexcept {
    // Firefox's address bar is a "combo box", Chromium's an "entry": both are text fields.
    if (AtspiRoleMayBeTextField(atspiRole) && editable && singleLine)
        return kRoleText;
    switch (atspiRole) {
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_EDITBAR:
            return kRoleText;
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_AUTOCOMPLETE:
            return kRoleComboBox;
        case ATSPI_ROLE_SPIN_BUTTON:
            return kRoleSpinButton;
        case ATSPI_ROLE_APPLICATION:
            return kRoleApplication;
        case ATSPI_ROLE_FRAME:
        case ATSPI_ROLE_WINDOW:
            return kRoleWindow;
        case ATSPI_ROLE_DIALOG:
        case ATSPI_ROLE_FILE_CHOOSER:
        case ATSPI_ROLE_COLOR_CHOOSER:
            return kRoleDialog;
        case ATSPI_ROLE_ALERT:
        case ATSPI_ROLE_NOTIFICATION:
            return kRoleAlert;
        case ATSPI_ROLE_MENU_BAR:
            return kRoleMenuBar;
        case ATSPI_ROLE_MENU:
        case ATSPI_ROLE_POPUP_MENU:
            return kRoleMenuPopup;
        case ATSPI_ROLE_MENU_ITEM:
        case ATSPI_ROLE_CHECK_MENU_ITEM:
        case ATSPI_ROLE_RADIO_MENU_ITEM:
        case ATSPI_ROLE_TEAROFF_MENU_ITEM:
            return kRoleMenuItem;
        case ATSPI_ROLE_TOOL_BAR:
            return kRoleToolBar;
        case ATSPI_ROLE_STATUS_BAR:
            return kRoleStatusBar;
        case ATSPI_ROLE_TOOL_TIP:
            return kRoleToolTip;
        case ATSPI_ROLE_SCROLL_BAR:
            return kRoleScrollBar;
        case ATSPI_ROLE_SCROLL_PANE:
        case ATSPI_ROLE_ROOT_PANE:
        case ATSPI_ROLE_LAYERED_PANE:
        case ATSPI_ROLE_SPLIT_PANE:
        case ATSPI_ROLE_VIEWPORT:
        case ATSPI_ROLE_INTERNAL_FRAME:
            return kRolePane;
        case ATSPI_ROLE_PANEL:
        case ATSPI_ROLE_SECTION:
        case ATSPI_ROLE_FILLER:
        case ATSPI_ROLE_GROUPING:
        case ATSPI_ROLE_FORM:
        case ATSPI_ROLE_LANDMARK:
        case ATSPI_ROLE_ARTICLE:
        case ATSPI_ROLE_BLOCK_QUOTE:
            return kRoleGrouping;
        case ATSPI_ROLE_DOCUMENT_FRAME:
        case ATSPI_ROLE_DOCUMENT_WEB:
        case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_DOCUMENT_EMAIL:
            return kRoleDocument;
        case ATSPI_ROLE_PUSH_BUTTON:
        case ATSPI_ROLE_TOGGLE_BUTTON:
        case ATSPI_ROLE_PUSH_BUTTON_MENU:
            return kRolePushButton;
        case ATSPI_ROLE_CHECK_BOX:
            return kRoleCheckButton;
        case ATSPI_ROLE_RADIO_BUTTON:
            return kRoleRadioButton;
        case ATSPI_ROLE_LINK:
            return kRoleLink;
        case ATSPI_ROLE_LABEL:
        case ATSPI_ROLE_STATIC:
        case ATSPI_ROLE_CAPTION:
        case ATSPI_ROLE_HEADING:
        case ATSPI_ROLE_PARAGRAPH:
            return kRoleStaticText;
        case ATSPI_ROLE_IMAGE:
        case ATSPI_ROLE_ICON:
        case ATSPI_ROLE_CANVAS:
            return kRoleGraphic;
        case ATSPI_ROLE_SEPARATOR:
            return kRoleSeparator;
        case ATSPI_ROLE_PAGE_TAB:
            return kRolePageTab;
        case ATSPI_ROLE_PAGE_TAB_LIST:
            return kRolePageTabList;
        case ATSPI_ROLE_LIST:
        case ATSPI_ROLE_LIST_BOX:
            return kRoleList;
        case ATSPI_ROLE_LIST_ITEM:
            return kRoleListItem;
        case ATSPI_ROLE_TREE:
        case ATSPI_ROLE_TREE_TABLE:
            return kRoleOutline;
        case ATSPI_ROLE_TREE_ITEM:
            return kRoleOutlineItem;
        case ATSPI_ROLE_TABLE:
            return kRoleTable;
        case ATSPI_ROLE_TABLE_CELL:
            return kRoleCell;
        case ATSPI_ROLE_TABLE_ROW:
            return kRoleRow;
        case ATSPI_ROLE_TABLE_COLUMN_HEADER:
        case ATSPI_ROLE_COLUMN_HEADER:
            return kRoleColumnHeader;
        case ATSPI_ROLE_TABLE_ROW_HEADER:
        case ATSPI_ROLE_ROW_HEADER:
            return kRoleRowHeader;
        case ATSPI_ROLE_PROGRESS_BAR:
            return kRoleProgressBar;
        case ATSPI_ROLE_SLIDER:
            return kRoleSlider;
        default:
            return kRoleClient;
    }
}

int32_t MsaaStateFromAtspi(const std::set<int>& s) noexcept {
    const auto has = [&](AtspiStateType state) { return s.count(int(state)) != 0; };
    int32_t bits = 0;
    if (!s.empty() && !has(ATSPI_STATE_ENABLED) && !has(ATSPI_STATE_SENSITIVE))
        bits |= kStateUnavailable;
    if (has(ATSPI_STATE_SELECTED))
        bits |= kStateSelected;
    if (has(ATSPI_STATE_FOCUSED))
        bits |= kStateFocused;
    if (has(ATSPI_STATE_PRESSED))
        bits |= kStatePressed;
    if (has(ATSPI_STATE_CHECKED))
        bits |= kStateChecked;
    if (has(ATSPI_STATE_INDETERMINATE))
        bits |= kStateMixed;
    if (has(ATSPI_STATE_READ_ONLY))
        bits |= kStateReadOnly;
    if (has(ATSPI_STATE_IS_DEFAULT))
        bits |= kStateDefault;
    if (has(ATSPI_STATE_EXPANDED))
        bits |= kStateExpanded;
    if (has(ATSPI_STATE_COLLAPSED) || (has(ATSPI_STATE_EXPANDABLE) && !has(ATSPI_STATE_EXPANDED)))
        bits |= kStateCollapsed;
    if (has(ATSPI_STATE_BUSY))
        bits |= kStateBusy;
    if (has(ATSPI_STATE_ANIMATED))
        bits |= kStateAnimated;
    if (!s.empty() && !has(ATSPI_STATE_SHOWING) && !has(ATSPI_STATE_VISIBLE))
        bits |= kStateInvisible;
    if (!s.empty() && has(ATSPI_STATE_VISIBLE) && !has(ATSPI_STATE_SHOWING))
        bits |= kStateOffscreen;
    if (has(ATSPI_STATE_RESIZABLE))
        bits |= kStateSizeable;
    if (has(ATSPI_STATE_FOCUSABLE))
        bits |= kStateFocusable;
    if (has(ATSPI_STATE_SELECTABLE))
        bits |= kStateSelectable;
    if (has(ATSPI_STATE_MULTISELECTABLE))
        bits |= kStateMultiSelectable;
    if (has(ATSPI_STATE_HAS_POPUP))
        bits |= kStateHasPopup;
    return bits;
}

}  // namespace tw
