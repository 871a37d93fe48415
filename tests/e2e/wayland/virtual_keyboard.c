// Holds a virtual keyboard open on a wlroots compositor. A headless
// compositor has no keyboard, and without one GTK never gets keyboard focus,
// so none of its windows would ever be the active one. Prints "ready" once
// the compositor has the keyboard, then stays until it is ended or the
// compositor goes away.
#define _GNU_SOURCE
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

// Self-contained (no includes), so it compiles without the XKB data files.
static const char kKeymap[] =
    "xkb_keymap {\n"
    "xkb_keycodes \"tw\" { minimum = 8; maximum = 255; <ESC> = 9; };\n"
    "xkb_types \"tw\" { type \"ONE_LEVEL\" { modifiers = none; level_name[Level1] = \"Any\"; }; "
    "};\n"
    "xkb_compatibility \"tw\" { };\n"
    "xkb_symbols \"tw\" { key <ESC> { [ Escape ] }; };\n"
    "};\n";

static struct wl_seat* seat;
static struct zwp_virtual_keyboard_manager_v1* manager;

static void Global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data;
    (void)version;
    if (!seat && strcmp(interface, wl_seat_interface.name) == 0)
        seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
    else if (strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        manager = wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1);
}

static void GlobalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener kRegistryListener = {Global, GlobalRemove};

int main(void) {
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "virtual_keyboard: no Wayland display\n");
        return 1;
    }
    struct wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, NULL);
    wl_display_roundtrip(display);
    if (!seat || !manager) {
        fprintf(stderr, "virtual_keyboard: the compositor offers no %s\n",
                seat ? "virtual keyboard" : "seat");
        return 1;
    }
    struct zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(manager, seat);

    // The compositor maps the keymap from a file; its size counts the final NUL.
    int fd = memfd_create("tw-keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, kKeymap, sizeof kKeymap) != (ssize_t)sizeof kKeymap) {
        perror("virtual_keyboard: keymap");
        return 1;
    }
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof kKeymap);
    if (wl_display_roundtrip(display) < 0) {
        fprintf(stderr, "virtual_keyboard: the compositor refused the keyboard\n");
        return 1;
    }
    close(fd);
    printf("ready\n");
    fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
