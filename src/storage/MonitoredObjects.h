#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/DateTime.h"

// The time-limit list: applications by program path, web sites by a piece
// of their address, with the rule that decides which entry a program path or
// a browser address belongs to.
namespace tw {

enum TMonitoredItemType : uint8_t { mitAll = 0, mitApplication = 1, mitWebSite = 2 };

// Display names (type picker) and short names (panel list) by type.
const char* MonitoredItemTypeDisplayName(TMonitoredItemType type) noexcept;
const char* MonitoredItemTypeShortName(TMonitoredItemType type) noexcept;

enum TMonitoredCheckStatus : uint8_t {
    csNotListed = 0,
    csListedChecked = 1,
    csSelf = 2,
    csListedInactive = 3,
    csListedUnchecked = 5,
};

class TMonitoredItem {
public:
    bool Active = true;
    std::string Caption;
    TMonitoredItemType ItemType = mitAll;
    std::string Name;
    bool Checked = false;
    int32_t Duration = 0;

    void Assign(const TMonitoredItem& source);
    const char* TypeName() const noexcept { return MonitoredItemTypeShortName(ItemType); }
    TDateTime DurationAsTime() const noexcept { return Duration / 86400.0; }
};

// An ordered list of owned entries, sorted by caption (ASCII letters folded),
// duplicates allowed, a new caption going in front of equal ones.
class TMonitoredList {
public:
    TMonitoredList() = default;
    TMonitoredList(const TMonitoredList&) = delete;
    TMonitoredList& operator=(const TMonitoredList&) = delete;

    int Count() const noexcept { return int(entries_.size()); }
    int Capacity() const noexcept { return int(entries_.capacity()); }
    void SetCapacity(int capacity);

    TMonitoredItem* Items(int index) const;
    const std::string& Captions(int index) const;

    // Takes ownership; returns the index the entry went to. A null item is a precondition failure.
    int Add(const std::string& caption, std::unique_ptr<TMonitoredItem> item);
    void Delete(int index);
    void Clear() noexcept { entries_.clear(); }

    int IndexOfName(std::string_view name) const noexcept;
    int IndexOfItem(const TMonitoredItem* item) const;
    int Match(std::string_view appPath, std::string_view address, uint8_t& matchKind) const;
    TMonitoredCheckStatus CheckItem(const TMonitoredItem* item, int& index) const;
    void AddMissing(const TMonitoredList* source, std::string_view filter);
    void AssignFrom(const TMonitoredList* source, TMonitoredItemType itemType,
                    std::string_view filter);
    void DeleteInactive();

private:
    std::vector<std::pair<std::string, std::unique_ptr<TMonitoredItem>>> entries_;
};

// Lines "name=caption": adds an application entry for each name the list does not match yet.
void AddApplicationsFromStrings(const std::vector<std::string>& strings, TMonitoredList& list);

// What FillListBox needs of a list box, so the list does not depend on the window toolkit.
class TListBoxItems {
public:
    virtual ~TListBoxItems() = default;
    virtual void BeginUpdate() = 0;
    virtual void EndUpdate() = 0;
    virtual void Clear() = 0;
    virtual void SetCapacity(int capacity) = 0;
    virtual void AddItem(const std::string& caption, TMonitoredItem* item) = 0;
};
void FillListBox(TListBoxItems& listBox, const TMonitoredList& list, TMonitoredItemType itemType);

std::string StripScheme(std::string_view s);
std::string StripWww(std::string_view s);
std::string NormalizeAddress(std::string_view s);
bool AddressMatches(std::string_view key, std::string_view address);

}  // namespace tw
