// Prints the names of the accessible objects of one process that are on
// screen (state SHOWING), one per line, as the accessibility bus shows them:
// the e2e tests read the panel's labels from outside, as the probe reads a
// browser's address.
// Usage: tw_e2e_atspi_texts PID
#include <atspi/atspi.h>

#include <cstdio>
#include <cstdlib>

namespace {

void Walk(AtspiAccessible* node, int depth) {
    if (depth > 40)
        return;
    GError* error = nullptr;
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool showing = states != nullptr && atspi_state_set_contains(states, ATSPI_STATE_SHOWING);
    if (states != nullptr)
        g_object_unref(states);
    if (gchar* name = showing ? atspi_accessible_get_name(node, &error) : nullptr) {
        if (*name != '\0')
            std::printf("%s\n", name);
        g_free(name);
    }
    g_clear_error(&error);
    const gint count = atspi_accessible_get_child_count(node, &error);
    g_clear_error(&error);
    for (gint i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, &error);
        g_clear_error(&error);
        if (child != nullptr) {
            Walk(child, depth + 1);
            g_object_unref(child);
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tw_e2e_atspi_texts PID\n");
        return 2;
    }
    const guint pid = guint(std::strtoul(argv[1], nullptr, 10));
    if (atspi_init() > 1)
        return 1;
    AtspiAccessible* desktop = atspi_get_desktop(0);
    GError* error = nullptr;
    const gint apps = atspi_accessible_get_child_count(desktop, &error);
    g_clear_error(&error);
    bool found = false;
    for (gint i = 0; i < apps; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &error);
        g_clear_error(&error);
        if (app == nullptr)
            continue;
        if (atspi_accessible_get_process_id(app, &error) == pid) {
            found = true;
            Walk(app, 0);
        }
        g_clear_error(&error);
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return found ? 0 : 1;
}
