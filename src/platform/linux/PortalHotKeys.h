#pragma once

// Hot keys through the desktop's GlobalShortcuts portal (org.freedesktop.portal.GlobalShortcuts
// on the session bus), for Wayland desktops where no application may grab keys itself.
//
// The portal binds shortcuts per session, once per session, and answers asynchronously (the
// desktop may ask the user first). The HotKeys interface answers at once, so registration here
// is optimistic:
// - `registerHotKey` checks the combination (a key the portal cannot name is refused at once as
//   `invalidCombination`) and answers success with a reference;
// - the registrations made in one turn of the event loop are bound together: a new portal
//   session is created (the previous one closed) and every current registration is bound in it
//   with its combination as the preferred trigger; unregistering rebinds the rest the same way;
// - when the portal's answer arrives, a registration the desktop did not bind is dropped and
//   reported through `registrationFailed` (`refused`; `unavailable` when the portal would not
//   create a session or failed); it never fires, and unregistering it afterwards does nothing.
// A press of a bound shortcut arrives as the portal's Activated signal and goes to the handlers.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "platform/HotKeys.h"

namespace tw {

class PortalHotKeys final : public HotKeys {
    Q_OBJECT
public:
    // What the desktop shows for a hot key and the stable name it is bound under (the portal
    // remembers the trigger the user chose per name).
    struct ShortcutInfo {
        QString id;
        QString description;
    };
    using Describe = std::function<ShortcutInfo(const HotKeyID&)>;

    struct Options {
        QDBusConnection bus = QDBusConnection::sessionBus();
        // Unset or answering an empty id: "tw-" and the hot key's number, described as
        // "Tarnwhistle shortcut".
        Describe describe;
        // How long the availability check waits for the portal.
        int timeoutMs = 5000;
    };

    // Over the portal when the bus offers it (the interface answers its `version` property);
    // null otherwise.
    static std::unique_ptr<PortalHotKeys> create(Options options, QObject* parent = nullptr);
    ~PortalHotKeys() override;

    HotKeyResult<HotKeyRef> registerHotKey(quint32 keyCode, quint32 modifiers,
                                           const HotKeyID& id) override;
    void unregisterHotKey(HotKeyRef ref) override;
    std::optional<RecordedKey> recordedKey(const QKeyEvent& event) const override;

    // The portal's version of the interface.
    uint portalVersion() const;
    // Whether a registration is still in force (bound, or waiting for the portal's answer).
    bool isRegistered(HotKeyRef ref) const;
    // Whether every registration has the portal's answer.
    bool isSettled() const;

    // The shortcuts trigger syntax of a combination ("CTRL+ALT+space", "LOGO+SHIFT+F5"); empty
    // for a key outside the key table.
    static QString trigger(quint32 keyCode, quint32 modifiers);

    // The portal's answer that drops a registration made optimistically is reported through
    // registrationFailed.

private Q_SLOTS:
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);

private:
    struct Impl;
    PortalHotKeys(std::unique_ptr<Impl> impl, QObject* parent);
    void scheduleBind();
    void bind();
    void createSession();
    void bindShortcuts();
    void callWithRequest(const QDBusMessage& call);
    void finishBind(const QList<HotKeyRef>& refused, HotKeyError error);
    void subscribe(const QString& requestPath);
    void unsubscribe(const QString& requestPath);
    void closeSession();
    std::unique_ptr<Impl> d_;
};

// The Request object on which the portal answers a call made over `bus` with the handle token
// `token`: /org/freedesktop/portal/desktop/request/<sender>/<token>, the sender being the
// caller's unique name without the colon and with its dots as underscores.
QString portalRequestPath(const QDBusConnection& bus, const QString& token);

}  // namespace tw
