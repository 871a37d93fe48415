#pragma once

// libatspi pulls in GLib; its headers come after the standard ones.
#include <atspi/atspi.h>

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/GOwned.h"

// Bounded libatspi calls, for the AT-SPI files only: each waits at most what
// is left of its budget and reports failure instead of raising.
namespace tw {

using AccessibleRef = GObjectPtr<AtspiAccessible>;

// Runs one libatspi call within the budget; false when the budget was
// already spent or the call failed. A call that ran out of time spends it.
template <typename F>
inline bool Bounded(AtspiCallBudget& budget, F&& call) {
    const int ms = budget.RemainingMs();
    if (ms <= 0)
        return false;
    atspi_set_timeout(ms, ms);
    GError* raised = nullptr;
    call(&raised);
    const GErrorPtr error(raised);
    if (budget.RemainingMs() <= 0)
        budget.Spend();
    return !error && !budget.Spent();
}

inline bool ChildCount(AtspiAccessible* object, AtspiCallBudget& budget, int& count) {
    count = 0;
    return Bounded(budget,
                   [&](GError** e) { count = atspi_accessible_get_child_count(object, e); }) &&
           count >= 0;
}

inline AccessibleRef ChildAt(AtspiAccessible* object, int index, AtspiCallBudget& budget) {
    AccessibleRef child;
    if (!Bounded(budget, [&](GError** e) {
            child.reset(atspi_accessible_get_child_at_index(object, index, e));
        })) {
        return nullptr;
    }
    return child;
}

// A bounded call that hands over a string of its own.
template <typename F>
inline std::optional<std::string> OwnedText(AtspiCallBudget& budget, F&& call) {
    GCharPtr text;
    if (!Bounded(budget, [&](GError** e) { text.reset(call(e)); }) || !text)
        return std::nullopt;
    return std::string(text.get());
}

inline std::optional<std::string> Name(AtspiAccessible* object, AtspiCallBudget& budget) {
    return OwnedText(budget, [&](GError** e) { return atspi_accessible_get_name(object, e); });
}

inline std::optional<int> Role(AtspiAccessible* object, AtspiCallBudget& budget) {
    int role = ATSPI_ROLE_INVALID;
    if (!Bounded(budget, [&](GError** e) { role = atspi_accessible_get_role(object, e); }))
        return std::nullopt;
    return role;
}

// The state set reports no error of its own: a spent budget or an object
// gone (DEFUNCT) count as failure.
inline std::optional<std::set<int>> States(AtspiAccessible* object, AtspiCallBudget& budget) {
    GObjectPtr<AtspiStateSet> set;
    if (!Bounded(budget, [&](GError**) { set.reset(atspi_accessible_get_state_set(object)); }) ||
        !set) {
        return std::nullopt;
    }
    std::set<int> states;
    if (const GArrayPtr list{atspi_state_set_get_states(set.get())}) {
        for (guint i = 0; i < list->len; ++i)
            states.insert(int(g_array_index(list.get(), AtspiStateType, i)));
    }
    if (states.count(ATSPI_STATE_DEFUNCT))
        return std::nullopt;
    return states;
}

inline std::optional<std::string> Text(AtspiAccessible* object, AtspiCallBudget& budget) {
    return OwnedText(budget,
                     [&](GError** e) { return atspi_text_get_text(ATSPI_TEXT(object), 0, -1, e); });
}

// Whether the object's attribute `key` (its toolkit's "class", a page's "id") is `value`.
inline bool HasAttribute(AtspiAccessible* object, const char* key, std::string_view value,
                         AtspiCallBudget& budget) {
    GHashTablePtr attributes;
    if (!Bounded(
            budget,
            [&](GError** e) { attributes.reset(atspi_accessible_get_attributes(object, e)); }) ||
        !attributes) {
        return false;
    }
    const auto* found = static_cast<const char*>(g_hash_table_lookup(attributes.get(), key));
    return found && value == found;
}

inline bool HasClass(AtspiAccessible* object, std::string_view className, AtspiCallBudget& budget) {
    return HasAttribute(object, "class", className, budget);
}

// What a search below an object makes of one object it meets.
enum class SearchStep { Found, Descend, Skip };

// The first object below `object`, depth first, for which `judge` answers
// Found; objects it answers Skip for are not entered. At most `maxDepth`
// levels and `nodesLeft` objects are visited.
template <typename Judge>
AccessibleRef FindBelow(AtspiAccessible* object, int maxDepth, int& nodesLeft,
                        AtspiCallBudget& budget, const Judge& judge) {
    int count = 0;
    if (maxDepth <= 0 || !ChildCount(object, budget, count))
        return nullptr;
    for (int i = 0; i < count && nodesLeft > 0 && !budget.Spent(); ++i) {
        AccessibleRef child = ChildAt(object, i, budget);
        if (!child)
            continue;
        --nodesLeft;
        const SearchStep step = judge(child.get());
        if (step == SearchStep::Found)
            return child;
        if (step == SearchStep::Skip)
            continue;
        if (AccessibleRef below = FindBelow(child.get(), maxDepth - 1, nodesLeft, budget, judge))
            return below;
    }
    return nullptr;
}

}  // namespace tw
