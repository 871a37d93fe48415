#include "storage/MonitoredObjects.h"

#include <algorithm>

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Strings.h"

namespace tw {

namespace {

constexpr std::string_view kUnit = "MonitoredObjects";

// The key must occur in the host part: at the start, or with no "/" or "?" in front of it.
bool NormalizedAddressMatches(std::string_view key, std::string_view address) {
    if (key.empty())
        return false;
    const size_t pos = address.find(key);
    if (pos == std::string_view::npos)
        return false;
    return pos == 0 || address.find_first_of("/?") >= pos;
}

}  // namespace

const char* MonitoredItemTypeDisplayName(TMonitoredItemType type) noexcept {
    switch (type) {
        case mitApplication:
            return "Application";
        case mitWebSite:
            return "Web site";
        default:
            return "all";
    }
}

const char* MonitoredItemTypeShortName(TMonitoredItemType type) noexcept {
    switch (type) {
        case mitApplication:
            return "App";
        case mitWebSite:
            return "Web";
        default:
            return "all";
    }
}

void TMonitoredItem::Assign(const TMonitoredItem& source) {
    Active = source.Active;
    Caption = source.Caption;
    ItemType = source.ItemType;
    Name = source.Name;
    Duration = source.Duration;
    Checked = source.Checked;
}

void TMonitoredList::SetCapacity(int capacity) {
    if (capacity > 0)
        entries_.reserve(size_t(capacity));
}

TMonitoredItem* TMonitoredList::Items(int index) const {
    Require(index >= 0 && index < Count(), kUnit);
    TMonitoredItem* item = entries_[size_t(index)].second.get();
    Require(item != nullptr, kUnit);
    return item;
}

const std::string& TMonitoredList::Captions(int index) const {
    Require(index >= 0 && index < Count(), kUnit);
    return entries_[size_t(index)].first;
}

int TMonitoredList::Add(const std::string& caption, std::unique_ptr<TMonitoredItem> item) {
    Require(item != nullptr, kUnit);
    // In front of equal captions: the first position not less than the caption.
    const auto at = std::lower_bound(
        entries_.begin(), entries_.end(), caption,
        [](const auto& entry, const std::string& c) { return CompareText(entry.first, c) < 0; });
    const auto index = at - entries_.begin();
    entries_.emplace(at, caption, std::move(item));
    return int(index);
}

void TMonitoredList::Delete(int index) {
    Require(index >= 0 && index < Count(), kUnit);
    entries_.erase(entries_.begin() + index);
}

int TMonitoredList::IndexOfName(std::string_view name) const noexcept {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (SameText(entries_[i].second->Name, name))
            return int(i);
    }
    return -1;
}

int TMonitoredList::IndexOfItem(const TMonitoredItem* item) const {
    Require(item != nullptr, kUnit);
    return IndexOfName(item->Name);
}

int TMonitoredList::Match(std::string_view appPath, std::string_view address,
                          uint8_t& matchKind) const {
    matchKind = 0;
    int webResult = -1;
    int appResult = -1;
    // The address is the same for every entry: normalise it once per call.
    const std::string normalized = NormalizeAddress(Trim(address));
    const bool hasAddress = !Trim(address).empty();
    for (size_t i = 0; i < entries_.size(); ++i) {
        const std::string& name = entries_[i].second->Name;
        if (hasAddress && NormalizedAddressMatches(NormalizeAddress(Trim(name)), normalized)) {
            webResult = int(i);
            break;
        }
        if (SameText(name, appPath))
            appResult = int(i);
    }
    if (webResult != -1) {
        matchKind = 2;
        return webResult;
    }
    matchKind = 1;
    return appResult;
}

TMonitoredCheckStatus TMonitoredList::CheckItem(const TMonitoredItem* item, int& index) const {
    Require(item != nullptr, kUnit);
    if (SameText(item->Name, ProgramFilePath()))
        return csSelf;
    index = IndexOfItem(item);
    if (index == -1)
        return csNotListed;
    const TMonitoredItem* listed = entries_[size_t(index)].second.get();
    if (!listed->Active)
        return csListedInactive;
    return listed->Checked ? csListedChecked : csListedUnchecked;
}

namespace {

bool PassesFilter(const std::string& caption, std::string_view filter) {
    return filter.empty() || LowerCase(caption).find(LowerCase(filter)) != std::string::npos;
}

std::unique_ptr<TMonitoredItem> CopyOf(const TMonitoredItem& source) {
    auto copy = std::make_unique<TMonitoredItem>();
    copy->Assign(source);
    return copy;
}

}  // namespace

void TMonitoredList::AddMissing(const TMonitoredList* source, std::string_view filter) {
    Require(source != nullptr, kUnit);
    // Adding from this very list finds every name present and adds nothing.
    for (int i = 0; i < source->Count(); ++i) {
        const std::string& caption = source->Captions(i);
        if (!PassesFilter(caption, filter))
            continue;
        if (IndexOfName(source->Items(i)->Name) != -1)
            continue;
        Add(caption, CopyOf(*source->Items(i)));
    }
}

void TMonitoredList::AssignFrom(const TMonitoredList* source, TMonitoredItemType itemType,
                                std::string_view filter) {
    Require(source != nullptr, kUnit);
    if (source == this) {
        // Clearing first would lose the source: filter in place instead.
        for (int i = Count() - 1; i >= 0; --i) {
            const TMonitoredItem* item = Items(i);
            if ((itemType != mitAll && item->ItemType != itemType) ||
                !PassesFilter(Captions(i), filter)) {
                Delete(i);
            }
        }
        return;
    }
    Clear();
    for (int i = 0; i < source->Count(); ++i) {
        const TMonitoredItem* item = source->Items(i);
        if (itemType != mitAll && item->ItemType != itemType)
            continue;
        if (!PassesFilter(source->Captions(i), filter))
            continue;
        Add(source->Captions(i), CopyOf(*item));
    }
}

void TMonitoredList::DeleteInactive() {
    for (int i = Count() - 1; i >= 0; --i) {
        if (!entries_[size_t(i)].second->Active)
            Delete(i);
    }
}

void AddApplicationsFromStrings(const std::vector<std::string>& strings, TMonitoredList& list) {
    for (const std::string& line : strings) {
        const size_t eq = line.find('=');
        std::string name = eq == std::string::npos ? std::string() : line.substr(0, eq);
        std::string caption = eq == std::string::npos ? line : line.substr(eq + 1);
        uint8_t kind = 0;
        if (list.Match(name, {}, kind) != -1)
            continue;
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApplication;
        item->Active = true;
        item->Name = std::move(name);
        item->Caption = caption;
        list.Add(caption, std::move(item));
    }
}

void FillListBox(TListBoxItems& listBox, const TMonitoredList& list, TMonitoredItemType itemType) {
    listBox.BeginUpdate();
    try {
        listBox.Clear();
        listBox.SetCapacity(list.Count());
        for (int i = 0; i < list.Count(); ++i) {
            TMonitoredItem* item = list.Items(i);
            if (!item->Active)
                item->Checked = false;
            if (itemType == mitAll || item->ItemType == itemType) {
                listBox.AddItem(item->Caption, item);
            }
        }
    } catch (...) {
        listBox.EndUpdate();
        throw;
    }
    listBox.EndUpdate();
}

std::string StripScheme(std::string_view s) {
    const size_t pos = s.find("://");
    return std::string(pos == std::string_view::npos ? s : s.substr(pos + 3));
}

std::string StripWww(std::string_view s) {
    const size_t pos = s.find("www.");
    return std::string(pos == std::string_view::npos ? s : s.substr(pos + 4));
}

std::string NormalizeAddress(std::string_view s) {
    return StripWww(StripScheme(s));
}

bool AddressMatches(std::string_view key, std::string_view address) {
    return NormalizedAddressMatches(NormalizeAddress(Trim(key)), NormalizeAddress(Trim(address)));
}

}  // namespace tw
