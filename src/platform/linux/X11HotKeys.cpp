#include "platform/linux/X11HotKeys.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <map>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include "platform/linux/KeyCodes.h"
#include "platform/linux/QtXcb.h"

namespace tw {

struct X11HotKeys::Impl {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_key_symbols_t* symbols = nullptr;

    struct Registration {
        HotKeyRef ref = 0;
        xcb_keycode_t keycode = 0;
        quint16 modifiers = 0;
        HotKeyID id;
        // What was asked for, so that the grab can follow the key when the keyboard's layout
        // or modifier map changes.
        xcb_keysym_t keysym = 0;
        quint32 requestedModifiers = 0;
    };
    QList<Registration> registrations;
    // How many registrations use each grab: one grab may serve a combination registered again
    // under a new label, and is released with its last user.
    std::map<std::pair<xcb_keycode_t, quint16>, int> grabs;
    HotKeyRef nextRef = 1;
    // The time of the last release of each grabbed key: the key's auto-repeat sends a release
    // and a press with the same time, and such a press is not a new press.
    std::map<xcb_keycode_t, xcb_timestamp_t> releasedAt;
    // The modifiers that Alt, Super and Num Lock are mapped to.
    quint16 alt = XCB_MOD_MASK_1;
    quint16 super = XCB_MOD_MASK_4;
    quint16 numLock = XCB_MOD_MASK_2;
    // The first event code of the XKB extension (0 without it): a layout switch arrives as an
    // XKB notification, not as a core MappingNotify, on a connection that uses XKB as Qt's does.
    quint8 xkbFirstEvent = 0;
    bool remapPending = false;

    // Lock states that must not change whether a hot key fires: none, Caps Lock, Num Lock,
    // both.
    std::array<quint16, 4> lockVariants() const {
        return {0, XCB_MOD_MASK_LOCK, numLock, quint16(XCB_MOD_MASK_LOCK | numLock)};
    }
    quint16 relevantModifiers() const {
        return quint16(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | alt | super);
    }

    // Finds the modifiers of the Alt, Super and Num Lock keys in the server's modifier map;
    // the usual ones stay where a key is not mapped.
    void readModifierMap() {
        xcb_get_modifier_mapping_reply_t* reply = xcb_get_modifier_mapping_reply(
            connection, xcb_get_modifier_mapping(connection), nullptr);
        if (!reply) return;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        quint16 foundAlt = 0, foundSuper = 0, foundNumLock = 0;
        for (int mod = 3; mod < 8; ++mod) {  // Mod1 to Mod5
            const quint16 mask = quint16(1u << mod);
            for (int k = 0; k < perModifier; ++k) {
                const xcb_keycode_t code = codes[mod * perModifier + k];
                if (code == 0) continue;
                for (int column = 0; column < 4; ++column) {
                    const xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols, code, column);
                    if (!foundAlt && (sym == XK_Alt_L || sym == XK_Alt_R)) foundAlt = mask;
                    if (!foundSuper && (sym == XK_Super_L || sym == XK_Super_R)) foundSuper = mask;
                    if (!foundNumLock && sym == XK_Num_Lock) foundNumLock = mask;
                }
            }
        }
        std::free(reply);
        alt = foundAlt ? foundAlt : quint16(XCB_MOD_MASK_1);
        super = foundSuper ? foundSuper : quint16(XCB_MOD_MASK_4);
        numLock = foundNumLock ? foundNumLock : quint16(XCB_MOD_MASK_2);
    }

    // The key that types `keysym` in the current map; XCB_NO_SYMBOL when none does.
    xcb_keycode_t keycodeFor(xcb_keysym_t keysym) const {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t keycode = codes ? codes[0] : XCB_NO_SYMBOL;
        std::free(codes);
        return keycode;
    }

    // Grabs the key with every lock variant. Answers 0, or the X error code of the refusal
    // (the variants that were granted are released again). Checked requests: the refusal of
    // another client's grab is seen here, not later as an asynchronous error.
    int grab(xcb_keycode_t keycode, quint16 modifiers) {
        const std::array<quint16, 4> locks = lockVariants();
        std::array<xcb_void_cookie_t, 4> cookies{};
        for (std::size_t i = 0; i < locks.size(); ++i) {
            cookies[i] = xcb_grab_key_checked(connection, 0, root, quint16(modifiers | locks[i]),
                                              keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        }
        int refusal = 0;
        for (const xcb_void_cookie_t& cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
                if (refusal == 0) refusal = error->error_code;
                std::free(error);
            }
        }
        if (refusal != 0) ungrab(keycode, modifiers);
        return refusal;
    }

    // Whether an event tells that the keyboard map or the modifier map changed.
    bool isMappingChange(const xcb_generic_event_t* event) const {
        const quint8 type = event->response_type & 0x7f;
        if (type == XCB_MAPPING_NOTIFY) {
            const auto* mapping = reinterpret_cast<const xcb_mapping_notify_event_t*>(event);
            return mapping->request == XCB_MAPPING_KEYBOARD ||
                   mapping->request == XCB_MAPPING_MODIFIER;
        }
        // XKB's NewKeyboardNotify (0) and MapNotify (1); the subtype is the second byte.
        constexpr quint8 kNewKeyboardNotify = 0, kMapNotify = 1;
        if (xkbFirstEvent == 0 || type != xkbFirstEvent) return false;
        const quint8 xkbType = reinterpret_cast<const quint8*>(event)[1];
        return xkbType == kNewKeyboardNotify || xkbType == kMapNotify;
    }

    ~Impl() {
        if (symbols) xcb_key_symbols_free(symbols);
    }

    void ungrab(xcb_keycode_t keycode, quint16 modifiers) {
        for (quint16 lock : lockVariants())
            xcb_ungrab_key(connection, keycode, root, quint16(modifiers | lock));
        xcb_flush(connection);
    }
};

std::unique_ptr<X11HotKeys> X11HotKeys::create(QObject* parent) {
    xcb_connection_t* connection = qtXcbConnection();
    if (!connection || xcb_connection_has_error(connection)) return nullptr;
    const xcb_setup_t* setup = xcb_get_setup(connection);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (!screens.rem) return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->connection = connection;
    // The first screen of the display; a grab on its root window covers the whole desktop.
    impl->root = screens.data->root;
    impl->symbols = xcb_key_symbols_alloc(connection);
    if (!impl->symbols) return nullptr;
    impl->readModifierMap();
    static const char kXkb[] = "XKEYBOARD";
    if (xcb_query_extension_reply_t* xkb = xcb_query_extension_reply(
            connection, xcb_query_extension(connection, sizeof kXkb - 1, kXkb), nullptr)) {
        if (xkb->present) impl->xkbFirstEvent = xkb->first_event;
        std::free(xkb);
    }
    return std::unique_ptr<X11HotKeys>(new X11HotKeys(std::move(impl), parent));
}

X11HotKeys::X11HotKeys(std::unique_ptr<Impl> impl, QObject* parent)
    : HotKeys(parent), d_(std::move(impl)) {
    if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(this);
}

X11HotKeys::~X11HotKeys() {
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
    for (const auto& [grab, users] : d_->grabs) d_->ungrab(grab.first, grab.second);
}

quint16 X11HotKeys::xModifiers(quint32 modifiers) const {
    quint16 state = 0;
    if (modifiers & modifier::control) state |= XCB_MOD_MASK_CONTROL;
    if (modifiers & modifier::option) state |= d_->alt;
    if (modifiers & modifier::shift) state |= XCB_MOD_MASK_SHIFT;
    if (modifiers & modifier::command) state |= d_->super;
    return state;
}

HotKeyResult<HotKeyRef> X11HotKeys::registerHotKey(quint32 keyCode, quint32 modifiers,
                                                   const HotKeyID& id) {
    using Result = HotKeyResult<HotKeyRef>;
    const auto keysym = keycodes::keysymForKeyCode(keyCode);
    if (!keysym || (modifiers & ~modifier::all) != 0)
        return Result::failure(HotKeyError::invalidCombination());
    const xcb_keycode_t keycode = d_->keycodeFor(*keysym);
    // The keyboard has no key for this keysym.
    if (keycode == XCB_NO_SYMBOL) return Result::failure(HotKeyError::invalidCombination());
    const quint16 state = xModifiers(modifiers);

    int& users = d_->grabs[{keycode, state}];
    if (users == 0) {
        if (const int refusal = d_->grab(keycode, state)) {
            // The combination is not ours.
            d_->grabs.erase({keycode, state});
            return Result::failure(HotKeyError::refused(refusal));
        }
    }
    ++users;
    const HotKeyRef ref = d_->nextRef++;
    d_->registrations.append({ref, keycode, state, id, *keysym, modifiers});
    return Result::success(ref);
}

void X11HotKeys::unregisterHotKey(HotKeyRef ref) {
    const auto it = std::find_if(d_->registrations.begin(), d_->registrations.end(),
                                 [ref](const Impl::Registration& r) { return r.ref == ref; });
    if (it == d_->registrations.end()) return;
    const std::pair<xcb_keycode_t, quint16> grab{it->keycode, it->modifiers};
    d_->registrations.erase(it);
    const auto g = d_->grabs.find(grab);
    if (g != d_->grabs.end() && --g->second <= 0) {
        d_->grabs.erase(g);
        d_->ungrab(grab.first, grab.second);
    }
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || !message) return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    if (d_->isMappingChange(event)) {
        // A layout switch sends several notifications at once; the grabs move once, after
        // Qt has seen them too.
        if (!d_->remapPending) {
            d_->remapPending = true;
            QMetaObject::invokeMethod(this, &X11HotKeys::followKeyboardMapping,
                                      Qt::QueuedConnection);
        }
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (key->event != d_->root) return false;
    const quint16 state = key->state & d_->relevantModifiers();
    if (d_->grabs.find({key->detail, state}) == d_->grabs.end()) {
        // The release of a grabbed key may come after a modifier was let go.
        return false;
    }
    if (type == XCB_KEY_RELEASE) {
        d_->releasedAt[key->detail] = key->time;
        return true;
    }
    const auto released = d_->releasedAt.find(key->detail);
    if (released != d_->releasedAt.end() && released->second == key->time) return true;  // repeat
    // Every registration of the combination is offered; a handler that sees another
    // identifier passes it on.
    QList<HotKeyID> ids;
    for (const Impl::Registration& r : std::as_const(d_->registrations)) {
        if (r.keycode == key->detail && r.modifiers == state) ids.append(r.id);
    }
    for (const HotKeyID& id : std::as_const(ids)) {
        if (deliver(id)) break;
    }
    return true;
}

void X11HotKeys::followKeyboardMapping() {
    d_->remapPending = false;
    xcb_key_symbols_free(d_->symbols);
    d_->symbols = xcb_key_symbols_alloc(d_->connection);
    if (!d_->symbols) return;
    // Released with the old lock modifiers, taken again with the new ones.
    for (const auto& [grab, users] : d_->grabs) d_->ungrab(grab.first, grab.second);
    d_->grabs.clear();
    d_->releasedAt.clear();
    d_->readModifierMap();

    struct Lost {
        HotKeyRef ref;
        HotKeyID id;
        HotKeyError error;
    };
    QList<Lost> lost;
    QList<Impl::Registration> kept;
    for (Impl::Registration r : std::as_const(d_->registrations)) {
        const xcb_keycode_t keycode = d_->keycodeFor(r.keysym);
        if (keycode == XCB_NO_SYMBOL) {
            // The new layout has no key for it.
            lost.append({r.ref, r.id, HotKeyError::invalidCombination()});
            continue;
        }
        const quint16 state = xModifiers(r.requestedModifiers);
        int& users = d_->grabs[{keycode, state}];
        if (users == 0) {
            if (const int refusal = d_->grab(keycode, state)) {
                d_->grabs.erase({keycode, state});
                lost.append({r.ref, r.id, HotKeyError::refused(refusal)});
                continue;
            }
        }
        ++users;
        r.keycode = keycode;
        r.modifiers = state;
        kept.append(r);
    }
    d_->registrations = kept;
    for (const Lost& l : std::as_const(lost)) Q_EMIT registrationFailed(l.ref, l.id, l.error);
    Q_EMIT keyboardMappingFollowed();
}

std::optional<RecordedKey> X11HotKeys::recordedKey(const QKeyEvent& event) const {
    return keycodes::recordedKey(event);
}

}  // namespace tw
