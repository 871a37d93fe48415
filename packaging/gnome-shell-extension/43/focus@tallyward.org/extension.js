// Tallyward's window service for GNOME Shell 43 and 44: which window has the
// focus, the window list, and closing one window, on the session bus. The
// variant for GNOME 45 and later is the same code as an ES module (the two
// module systems cannot share a file); change both together.
'use strict';

const { Gio, GLib, Meta } = imports.gi;

const BUS_NAME = 'org.tallyward.Focus';
const OBJECT_PATH = '/org/tallyward/Focus';
const INTERFACE_XML = `<node>
  <interface name="org.tallyward.Focus">
    <method name="GetFocus">
      <arg type="t" direction="out" name="id"/>
      <arg type="u" direction="out" name="pid"/>
      <arg type="s" direction="out" name="wmClass"/>
      <arg type="s" direction="out" name="title"/>
      <arg type="b" direction="out" name="xwayland"/>
    </method>
    <method name="ListWindows">
      <arg type="a(tusbs)" direction="out" name="windows"/>
    </method>
    <method name="Close">
      <arg type="t" direction="in" name="id"/>
      <arg type="b" direction="out" name="closed"/>
    </method>
    <signal name="FocusChanged">
      <arg type="t" name="id"/>
      <arg type="u" name="pid"/>
    </signal>
  </interface>
</node>`;

// get_pid() is -1 or 0 when the client's process is unknown.
function pidOf(w) {
    return Math.max(w.get_pid(), 0);
}

function describe(w) {
    return [w.get_id(), pidOf(w), w.get_wm_class() ?? '',
        w.get_client_type() === Meta.WindowClientType.X11, w.get_title() ?? ''];
}

function allWindows() {
    return global.get_window_actors().map(a => a.meta_window);
}

class FocusService {
    enable() {
        this._dbus = Gio.DBusExportedObject.wrapJSObject(INTERFACE_XML, this);
        this._dbus.export(Gio.DBus.session, OBJECT_PATH);
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session, BUS_NAME,
            Gio.BusNameOwnerFlags.NONE, null, null);
        this._focusId = global.display.connect('notify::focus-window', () => {
            const w = global.display.focus_window;
            this._dbus.emit_signal('FocusChanged', new GLib.Variant('(tu)',
                w ? [w.get_id(), pidOf(w)] : [0, 0]));
        });
    }

    disable() {
        global.display.disconnect(this._focusId);
        Gio.bus_unown_name(this._nameId);
        this._dbus.unexport();
        this._dbus = null;
    }

    GetFocus() {
        const w = global.display.focus_window;
        if (!w)
            return [0, 0, '', '', false];
        const [id, pid, wmClass, xwayland, title] = describe(w);
        return [id, pid, wmClass, title, xwayland];
    }

    ListWindows() {
        const shown = allWindows().filter(w => !w.is_override_redirect() && !w.is_skip_taskbar());
        return shown.map(describe);
    }

    Close(id) {
        const w = allWindows().find(x => x.get_id() === id);
        if (!w)
            return false;
        w.delete(global.get_current_time());
        return true;
    }
}

function init() {
    return new FocusService();
}
