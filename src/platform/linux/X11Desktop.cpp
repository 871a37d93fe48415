#include "platform/linux/X11Desktop.h"

#include <X11/Xatom.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/ProcessImage.h"
#include "platform/linux/XOwned.h"

namespace tw {

namespace {

// Every atom the desktop asks about, interned in one round trip at start.
enum AtomIndex {
    aNetSupportingWmCheck,
    aNetActiveWindow,
    aNetClientList,
    aNetWmPid,
    aNetWmName,
    aNetCloseWindow,
    aUtf8String,
    aWmState,
    aWmProtocols,
    aWmDeleteWindow,
    aAtomCount
};
constexpr std::array<const char*, aAtomCount> kAtomNames = {
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_ACTIVE_WINDOW",
    "_NET_CLIENT_LIST",
    "_NET_WM_PID",
    "_NET_WM_NAME",
    "_NET_CLOSE_WINDOW",
    "UTF8_STRING",
    "WM_STATE",
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
};

// A window id fits the low 29 bits; anything else is not a real window.
constexpr WindowHandle kXidMask = 0x1FFFFFFF;

// Depth searched below a frame for the client a reparenting manager marked.
constexpr int kClientSearchDepth = 3;

// The desktops with open connections: the Xlib error handlers are global.
std::vector<X11Desktop*>& OpenDesktops() {
    static std::vector<X11Desktop*> desktops;
    return desktops;
}
XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

// One XGetWindowProperty answer.
struct PropertyReply {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    XOwned<unsigned char> data;
};

// Up to `length` 32-bit units of `property` of type `type`; nullopt when
// the request failed.
std::optional<PropertyReply> ReadProperty(Display* display, Window window, Atom property,
                                          long length, Atom type) {
    PropertyReply reply;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, length, False, type,
                                          &reply.type, &reply.format, &reply.count, &after, &data);
    reply.data.reset(data);
    if (status != Success)
        return std::nullopt;
    return reply;
}

}  // namespace

struct X11Desktop::Atoms {
    std::array<Atom, aAtomCount> atom{};
};

// Routes Xlib's process-wide callbacks to the desktop owning the display.
struct X11DesktopHandlers {
    static X11Desktop* Find(Display* display) noexcept {
        for (X11Desktop* desktop : OpenDesktops()) {
            if (desktop->display_ == display)
                return desktop;
        }
        return nullptr;
    }
    static int OnError(Display* display, XErrorEvent* event) {
        if (X11Desktop* desktop = Find(display)) {
            desktop->OnError();
            return 0;
        }
        return previousErrorHandler ? previousErrorHandler(display, event) : 0;
    }
    static int OnIOError(Display* display) {
        if (X11Desktop* desktop = Find(display)) {
            desktop->OnConnectionLost();
            return 0;
        }
        return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
    }
    // Xlib exits the process after the handler unless this returns instead.
    static void OnIOErrorExit(Display* display, void*) {
        if (X11Desktop* desktop = Find(display))
            desktop->OnConnectionLost();
    }
};

std::unique_ptr<X11Desktop> X11Desktop::Open(const char* displayName) {
    Display* display = XOpenDisplay(displayName);
    if (!display)
        return nullptr;
    return std::unique_ptr<X11Desktop>(new X11Desktop(display));
}

X11Desktop::X11Desktop(_XDisplay* display) : display_(display), atoms_(std::make_unique<Atoms>()) {
    auto& desktops = OpenDesktops();
    if (desktops.empty()) {
        previousErrorHandler = XSetErrorHandler(&X11DesktopHandlers::OnError);
        previousIOErrorHandler = XSetIOErrorHandler(&X11DesktopHandlers::OnIOError);
    }
    desktops.push_back(this);
    XSetIOErrorExitHandler(display_, &X11DesktopHandlers::OnIOErrorExit, nullptr);

    root_ = DefaultRootWindow(display_);
    std::array<char*, aAtomCount> names{};
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = const_cast<char*>(kAtomNames[i]);
    if (!XInternAtoms(display_, names.data(), int(names.size()), False, atoms_->atom.data()))
        atoms_->atom.fill(None);
    int eventBase = 0, errorBase = 0;
    hasXRes_ = XResQueryExtension(display_, &eventBase, &errorBase) != 0;
}

X11Desktop::~X11Desktop() {
    // Closed while the handlers still know it: errors of requests not yet
    // answered arrive as it closes, and Xlib's default handler would end
    // the program.
    XCloseDisplay(display_);
    auto& desktops = OpenDesktops();
    desktops.erase(std::remove(desktops.begin(), desktops.end(), this), desktops.end());
    if (desktops.empty()) {
        XSetErrorHandler(previousErrorHandler);
        XSetIOErrorHandler(previousIOErrorHandler);
    }
}

void X11Desktop::OnError() noexcept {
    ++errors_;
}

void X11Desktop::OnConnectionLost() noexcept {
    if (lost_)
        return;
    lost_ = true;
    WriteLog("X11Desktop: the connection to the X server was lost; windows are no longer seen");
}

bool X11Desktop::Sync() {
    if (!Usable())
        return false;
    const int before = errors_;
    XSync(display_, False);
    return !lost_ && errors_ == before;
}

unsigned long X11Desktop::WindowProperty(unsigned long window, unsigned long property) {
    if (!Usable() || window == None || property == None)
        return None;
    const auto reply = ReadProperty(display_, window, property, 1, XA_WINDOW);
    if (reply && reply->type == XA_WINDOW && reply->format == 32 && reply->count == 1 &&
        reply->data) {
        return reinterpret_cast<const unsigned long*>(reply->data.get())[0];
    }
    return None;
}

std::vector<unsigned long> X11Desktop::WindowListProperty(unsigned long window,
                                                          unsigned long property) {
    std::vector<unsigned long> result;
    if (!Usable() || property == None)
        return result;
    // 64k windows are more than any desktop holds.
    const auto reply = ReadProperty(display_, window, property, 65536, XA_WINDOW);
    if (reply && reply->type == XA_WINDOW && reply->format == 32 && reply->data) {
        const auto* ids = reinterpret_cast<const unsigned long*>(reply->data.get());
        result.assign(ids, ids + reply->count);
    }
    return result;
}

bool X11Desktop::HasProperty(unsigned long window, unsigned long property) {
    if (!Usable() || property == None)
        return false;
    const auto reply = ReadProperty(display_, window, property, 0, AnyPropertyType);
    return reply && reply->type != None;
}

std::optional<std::string> X11Desktop::TextProperty(unsigned long window, unsigned long property,
                                                    unsigned long type) {
    if (!Usable() || property == None)
        return std::nullopt;
    // Titles are short; a megabyte bounds a hostile one.
    const auto reply = ReadProperty(display_, window, property, 256 * 1024, type);
    if (!reply)
        return std::nullopt;
    const unsigned char* data = reply->data.get();
    const Atom actualType = reply->type;
    const int format = reply->format;
    const unsigned long count = reply->count;
    std::optional<std::string> result;
    if (data && format == 8 && actualType != None) {
        if (actualType == atoms_->atom[aUtf8String]) {
            result.emplace(reinterpret_cast<const char*>(data), count);
        } else if (actualType == XA_STRING) {
            // ISO 8859-1 by the protocol: widen to UTF-8.
            std::string text;
            for (unsigned long i = 0; i < count; ++i) {
                const unsigned char c = data[i];
                if (c < 0x80) {
                    text += char(c);
                } else {
                    text += char(0xC0 | (c >> 6));
                    text += char(0x80 | (c & 0x3F));
                }
            }
            result = std::move(text);
        } else {
            XTextProperty prop{reply->data.get(), actualType, format, count};
            char** strings = nullptr;
            int n = 0;
            const bool converted =
                Xutf8TextPropertyToTextList(display_, &prop, &strings, &n) >= Success;
            const XStringList list(strings);
            if (converted && list) {
                result = n > 0 && list.get()[0] ? std::string(list.get()[0]) : std::string();
            } else {
                result.emplace(reinterpret_cast<const char*>(data), count);
            }
        }
    }
    return result;
}

bool X11Desktop::ClassHint(unsigned long window, std::string& instance, std::string& className) {
    instance.clear();
    className.clear();
    if (!Usable())
        return false;
    const int before = errors_;
    const auto reply = ReadProperty(display_, window, XA_WM_CLASS, 256, XA_STRING);
    const bool ok = reply && errors_ == before;
    if (ok && reply->data && reply->format == 8) {
        // "instance\0class\0"
        const char* text = reinterpret_cast<const char*>(reply->data.get());
        const unsigned long count = reply->count;
        const size_t first = strnlen(text, count);
        instance.assign(text, first);
        if (first + 1 < count)
            className.assign(text + first + 1, strnlen(text + first + 1, count - first - 1));
    }
    return ok;
}

unsigned long X11Desktop::WindowManagerCheck() {
    // A manager announces itself by a window on the root whose own property
    // points back at itself; a dead manager leaves the root's property behind.
    const unsigned long check = WindowProperty(root_, atoms_->atom[aNetSupportingWmCheck]);
    if (check == None)
        return None;
    return WindowProperty(check, atoms_->atom[aNetSupportingWmCheck]) == check ? check : None;
}

bool X11Desktop::WindowManagerRunning() {
    return WindowManagerCheck() != None;
}

std::vector<unsigned long> X11Desktop::Children(unsigned long window, unsigned long* parent) {
    std::vector<unsigned long> result;
    if (parent)
        *parent = None;
    if (!Usable())
        return result;
    Window rootReturn = None, parentReturn = None;
    Window* list = nullptr;
    unsigned int count = 0;
    const Status ok = XQueryTree(display_, window, &rootReturn, &parentReturn, &list, &count);
    const XOwned<Window> children(list);
    if (ok) {
        result.assign(children.get(), children.get() + count);
        if (parent)
            *parent = parentReturn;
    }
    return result;
}

unsigned long X11Desktop::FindClientBelow(unsigned long frame, int depth) {
    if (depth <= 0)
        return None;
    const auto children = Children(frame);
    // Top of the stacking order first: a frame's client is usually its last child.
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (HasProperty(*it, atoms_->atom[aWmState]))
            return *it;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (unsigned long client = FindClientBelow(*it, depth - 1))
            return client;
    }
    return None;
}

unsigned long X11Desktop::ClientOf(unsigned long window) {
    if (!Usable() || window == None || window == root_)
        return None;
    unsigned long top = window;
    for (int guard = 0; guard < 64; ++guard) {
        unsigned long parent = None;
        Children(top, &parent);
        if (parent == None)
            return None;  // the window vanished
        if (parent == root_)
            break;
        top = parent;
    }
    if (HasProperty(top, atoms_->atom[aWmState]))
        return top;
    // Without a manager nothing is reparented and the root's child is the client.
    const unsigned long client = FindClientBelow(top, kClientSearchDepth);
    return client != None ? client : top;
}

WindowHandle X11Desktop::ForegroundWindow() {
    if (!Usable())
        return kNullWindow;
    if (WindowManagerCheck() != None)
        return WindowProperty(root_, atoms_->atom[aNetActiveWindow]);
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (lost_)
        return 0;
    if (focus == PointerRoot) {
        // Keys go to whatever window is under the pointer.
        Window rootReturn = None, child = None;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display_, root_, &rootReturn, &child, &rx, &ry, &wx, &wy, &mask))
            return 0;
        focus = child;
    }
    return ClientOf(focus);
}

std::vector<WindowHandle> X11Desktop::TopLevelWindows() {
    std::vector<WindowHandle> result;
    if (!Usable())
        return result;
    if (WindowManagerCheck() != None && HasProperty(root_, atoms_->atom[aNetClientList])) {
        for (unsigned long w : WindowListProperty(root_, atoms_->atom[aNetClientList]))
            result.push_back(w);
        return result;
    }
    for (unsigned long w : Children(root_)) {
        unsigned long client = w;
        if (!HasProperty(w, atoms_->atom[aWmState])) {
            if (unsigned long below = FindClientBelow(w, kClientSearchDepth))
                client = below;
        }
        result.push_back(client);
    }
    return result;
}

const char* X11Desktop::BrowserChildClass(std::string_view instance,
                                          std::string_view className) noexcept {
    static constexpr std::array<std::pair<const char*, const char*>, 9> kBrowsers = {{
        {"firefox", "MozillaWindowClass"},
        {"firefox-esr", "MozillaWindowClass"},
        {"navigator", "MozillaWindowClass"},
        {"chromium", "Chrome_AutocompleteEditView"},
        {"chromium-browser", "Chrome_AutocompleteEditView"},
        {"google-chrome", "Chrome_AutocompleteEditView"},
        {"google-chrome-stable", "Chrome_AutocompleteEditView"},
        {"opera", "OperaWindowClass"},
        {"opera-stable", "OperaWindowClass"},
    }};
    for (const auto& [name, childClass] : kBrowsers) {
        if (SameText(className, name) || SameText(instance, name))
            return childClass;
    }
    return nullptr;
}

void X11Desktop::EnumTopLevelWindows(const WindowCallback& callback) {
    for (WindowHandle window : TopLevelWindows()) {
        if (!callback(window))
            return;
    }
}

void X11Desktop::EnumChildWindows(WindowHandle parent, const WindowCallback& callback) {
    if (parent == kNullWindow) {
        EnumTopLevelWindows(callback);
        return;
    }
    if ((parent & ~kXidMask) != 0)
        return;
    std::string instance, className;
    if (ClassHint(parent, instance, className) && BrowserChildClass(instance, className))
        callback(parent | kSyntheticChildBit);
}

std::string X11Desktop::ClassName(WindowHandle window) {
    const WindowHandle real = window & kXidMask;
    if (real == 0 || (window & ~(kXidMask | kSyntheticChildBit)) != 0)
        return {};
    std::string instance, className;
    if (!ClassHint(real, instance, className))
        return {};
    if (IsSyntheticChild(window)) {
        const char* childClass = BrowserChildClass(instance, className);
        return childClass ? childClass : "";
    }
    if (className.size() >= kClassNameBufferSize)
        className.resize(kClassNameBufferSize - 1);
    return className;
}

std::optional<std::string> X11Desktop::WindowTextTimeout(WindowHandle window, int timeoutMs) {
    if (IsSyntheticChild(window) && ClassName(window) == "Chrome_AutocompleteEditView") {
        const WindowHandle top = window & kXidMask;
        return Browsers().AddressFieldText(
            top, WindowProcessId(top), WindowTextTimeout(top, 0).value_or(""),
            [this, top] { return ForegroundWindow() == top; }, timeoutMs);
    }
    if (window == kNullWindow || (window & ~kXidMask) != 0)
        return std::nullopt;
    auto text = TextProperty(window, atoms_->atom[aNetWmName], atoms_->atom[aUtf8String]);
    if (!text)
        text = TextProperty(window, XA_WM_NAME, AnyPropertyType);
    if (text && text->size() >= kWindowTextBufferSize)
        text->resize(kWindowTextBufferSize - 1);
    return text;
}

uint32_t X11Desktop::WindowProcessId(WindowHandle window) {
    const unsigned long real = window & kXidMask;
    if (!Usable() || real == 0 || (window & ~(kXidMask | kSyntheticChildBit)) != 0)
        return 0;
    {
        unsigned long pid = 0;
        const int before = errors_;
        const auto reply = ReadProperty(display_, real, atoms_->atom[aNetWmPid], 1, XA_CARDINAL);
        if (reply && reply->type == XA_CARDINAL && reply->format == 32 && reply->count == 1 &&
            reply->data) {
            pid = reinterpret_cast<const unsigned long*>(reply->data.get())[0];
        }
        if (pid > 0 && pid <= 0x7FFFFFFF)
            return uint32_t(pid);
        // A window that is gone has no process, though its client may live on.
        if (errors_ != before)
            return 0;
    }
    if (!hasXRes_ || lost_)
        return 0;
    // The server knows the peer of every local client, whatever the client sets.
    XResClientIdSpec spec{real, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* values = nullptr;
    const bool ok = XResQueryClientIds(display_, 1, &spec, &count, &values) == Success;
    const XResClientIds ids(count, values);
    pid_t pid = 0;
    for (long i = 0; ok && i < ids.Count() && pid <= 0; ++i) {
        if (ids[i].spec.mask & XRES_CLIENT_ID_PID_MASK)
            pid = XResGetClientPid(&ids[i]);
    }
    return pid > 0 ? uint32_t(pid) : 0;
}

ProcessImageResult X11Desktop::ProcessImagePath(uint32_t processId) {
    return ReadProcessImage(processId);
}

std::optional<std::string> X11Desktop::QueryDosDevice(std::string_view) {
    return std::nullopt;
}

std::unique_ptr<Accessible> X11Desktop::AccessibleObjectFromWindow(WindowHandle window) {
    if (!IsSyntheticChild(window))
        return nullptr;
    const std::string childClass = ClassName(window);
    if (childClass != "MozillaWindowClass" && childClass != "OperaWindowClass")
        return nullptr;
    const WindowHandle top = window & kXidMask;
    return Browsers().FrameObject(top, WindowProcessId(top), WindowTextTimeout(top, 0).value_or(""),
                                  [this, top] { return ForegroundWindow() == top; });
}

AtspiBrowsers& X11Desktop::Browsers() {
    if (!atspi_)
        atspi_ = std::make_unique<AtspiBrowsers>();
    atspi_->KeepOnly(TopLevelWindows());
    return *atspi_;
}

bool X11Desktop::PostCloseRequest(WindowHandle window) {
    const unsigned long real = window & kXidMask;
    if (!Usable() || real == 0)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.format = 32;
    if (WindowManagerCheck() != None) {
        event.xclient.window = real;
        event.xclient.message_type = atoms_->atom[aNetCloseWindow];
        event.xclient.data.l[0] = CurrentTime;
        event.xclient.data.l[1] = 2;  // source: a pager or similar tool, acting for the user
        XSendEvent(display_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        return Sync();
    }
    // Without a manager only a window taking part in the delete protocol can be asked.
    Atom* list = nullptr;
    int count = 0;
    const Status ok = XGetWMProtocols(display_, real, &list, &count);
    const XOwned<Atom> protocols(list);
    const bool takesDelete = ok && protocols &&
                             std::find(protocols.get(), protocols.get() + count,
                                       atoms_->atom[aWmDeleteWindow]) != protocols.get() + count;
    if (!takesDelete)
        return false;
    event.xclient.window = real;
    event.xclient.message_type = atoms_->atom[aWmProtocols];
    event.xclient.data.l[0] = long(atoms_->atom[aWmDeleteWindow]);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, real, False, NoEventMask, &event);
    return Sync();
}

}  // namespace tw
