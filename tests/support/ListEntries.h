#pragma once

#include <memory>
#include <string>
#include <utility>

#include "storage/MonitoredObjects.h"

namespace tw::test {

// Puts an entry on a time-limit list under its caption, as the wizard does.
inline void AddEntry(TMonitoredList& list, TMonitoredItemType type, std::string name,
                     std::string caption, bool active = true) {
    auto item = std::make_unique<TMonitoredItem>();
    item->ItemType = type;
    item->Name = std::move(name);
    item->Caption = caption;
    item->Active = active;
    list.Add(caption, std::move(item));
}

}  // namespace tw::test
