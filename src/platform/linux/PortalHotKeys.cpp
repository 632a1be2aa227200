#include "platform/linux/PortalHotKeys.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <algorithm>

#include "platform/linux/KeyCodes.h"

// Last: Xlib defines macros (None, Bool, Status) that Qt's headers must not see.
#include <X11/Xlib.h>

namespace tw {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const char* const kResponseSlot = SLOT(onResponse(QDBusMessage));

// One element of the portal's shortcut lists: an id and its properties, a(sa{sv}).
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};

}  // namespace
}  // namespace tw

Q_DECLARE_METATYPE(tw::PortalShortcutEntry)

namespace tw {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

// The ids of a shortcut list as it arrives in a vardict.
QSet<QString> shortcutIds(const QVariant& value) {
    QSet<QString> ids;
    if (!value.canConvert<QDBusArgument>()) return ids;
    const QDBusArgument argument = value.value<QDBusArgument>();
    if (argument.currentType() != QDBusArgument::ArrayType) return ids;
    argument.beginArray();
    while (!argument.atEnd()) {
        PortalShortcutEntry entry;
        argument >> entry;
        ids.insert(entry.id);
    }
    argument.endArray();
    return ids;
}

// An object path that came as a string or as an object path.
QString pathOf(const QVariant& value) {
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

}  // namespace

struct PortalHotKeys::Impl {
    QDBusConnection bus{QString()};
    Describe describe;
    uint version = 0;

    struct Registration {
        HotKeyRef ref = 0;
        HotKeyID id;
        QString trigger;
        QString shortcutId;  // the name it is bound under in the current session
        bool bound = false;  // the portal has bound it
    };
    QList<Registration> registrations;
    HotKeyRef nextRef = 1;

    enum class Stage { idle, creating, binding };
    Stage stage = Stage::idle;
    QString request;            // the request whose Response is awaited
    QString session;            // the current session's handle
    QList<HotKeyRef> inFlight;  // the registrations of the bind under way
    bool bindQueued = false;
    bool dirty = false;
    quint64 tokens = 0;

    Registration* find(HotKeyRef ref) {
        for (Registration& r : registrations) {
            if (r.ref == ref) return &r;
        }
        return nullptr;
    }

    ShortcutInfo infoFor(const HotKeyID& id) const {
        ShortcutInfo info;
        if (describe) info = describe(id);
        if (info.id.isEmpty()) info.id = QStringLiteral("tw-%1").arg(id.id);
        if (info.description.isEmpty()) info.description = QStringLiteral("Tarnwhistle shortcut");
        return info;
    }
};

QString portalRequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService();
    if (sender.startsWith(QLatin1Char(':'))) sender.remove(0, 1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
}

QString PortalHotKeys::trigger(quint32 keyCode, quint32 modifiers) {
    const auto keysym = keycodes::keysymForKeyCode(keyCode);
    if (!keysym) return {};
    const char* name = XKeysymToString(KeySym(*keysym));
    if (!name) return {};
    QStringList parts;
    if (modifiers & modifier::control) parts << QStringLiteral("CTRL");
    if (modifiers & modifier::option) parts << QStringLiteral("ALT");
    if (modifiers & modifier::shift) parts << QStringLiteral("SHIFT");
    if (modifiers & modifier::command) parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}

std::unique_ptr<PortalHotKeys> PortalHotKeys::create(Options options, QObject* parent) {
    if (!options.bus.isConnected()) return nullptr;
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    const QDBusMessage reply = options.bus.call(get, QDBus::Block, options.timeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return nullptr;
    bool ok = false;
    const uint version = reply.arguments().constFirst().value<QDBusVariant>().variant().toUInt(&ok);
    if (!ok || version == 0) return nullptr;

    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<QList<PortalShortcutEntry>>();
    auto impl = std::make_unique<Impl>();
    impl->bus = options.bus;
    impl->describe = std::move(options.describe);
    impl->version = version;
    return std::unique_ptr<PortalHotKeys>(new PortalHotKeys(std::move(impl), parent));
}

PortalHotKeys::PortalHotKeys(std::unique_ptr<Impl> impl, QObject* parent)
    : HotKeys(parent), d_(std::move(impl)) {
    d_->bus.connect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                    SLOT(onActivated(QDBusMessage)));
}

PortalHotKeys::~PortalHotKeys() {
    d_->bus.disconnect(kService, kPath, kInterface, QStringLiteral("Activated"), this,
                       SLOT(onActivated(QDBusMessage)));
    if (!d_->request.isEmpty()) unsubscribe(d_->request);
    closeSession();
}

uint PortalHotKeys::portalVersion() const {
    return d_->version;
}

bool PortalHotKeys::isRegistered(HotKeyRef ref) const {
    return d_->find(ref) != nullptr;
}

bool PortalHotKeys::isSettled() const {
    return d_->stage == Impl::Stage::idle && !d_->dirty && !d_->bindQueued;
}

HotKeyResult<HotKeyRef> PortalHotKeys::registerHotKey(quint32 keyCode, quint32 modifiers,
                                                      const HotKeyID& id) {
    using Result = HotKeyResult<HotKeyRef>;
    const QString triggerText = trigger(keyCode, modifiers);
    if (triggerText.isEmpty() || (modifiers & ~modifier::all) != 0)
        return Result::failure(HotKeyError::invalidCombination());
    const HotKeyRef ref = d_->nextRef++;
    d_->registrations.append({ref, id, triggerText, QString(), false});
    scheduleBind();
    return Result::success(ref);
}

void PortalHotKeys::unregisterHotKey(HotKeyRef ref) {
    const auto it = std::find_if(d_->registrations.begin(), d_->registrations.end(),
                                 [ref](const Impl::Registration& r) { return r.ref == ref; });
    if (it == d_->registrations.end()) return;
    d_->registrations.erase(it);
    scheduleBind();
}

// Every change is bound in one go on the next turn of the event loop, so that registering the
// three shortcuts at launch asks the desktop once.
void PortalHotKeys::scheduleBind() {
    d_->dirty = true;
    if (d_->bindQueued) return;
    d_->bindQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            d_->bindQueued = false;
            bind();
        },
        Qt::QueuedConnection);
}

void PortalHotKeys::bind() {
    // A bind under way finishes first; its end starts the next one.
    if (d_->stage != Impl::Stage::idle || !d_->dirty) return;
    d_->dirty = false;
    // A session binds its shortcuts once: a changed set needs a new session.
    closeSession();
    for (Impl::Registration& r : d_->registrations) r.bound = false;
    if (d_->registrations.isEmpty()) return;
    d_->inFlight.clear();
    for (const Impl::Registration& r : std::as_const(d_->registrations)) d_->inFlight.append(r.ref);
    createSession();
}

void PortalHotKeys::subscribe(const QString& requestPath) {
    d_->bus.connect(kService, requestPath, kRequestInterface, QStringLiteral("Response"), this,
                    kResponseSlot);
}

void PortalHotKeys::unsubscribe(const QString& requestPath) {
    d_->bus.disconnect(kService, requestPath, kRequestInterface, QStringLiteral("Response"), this,
                       kResponseSlot);
}

void PortalHotKeys::closeSession() {
    if (d_->session.isEmpty()) return;
    const QDBusMessage close = QDBusMessage::createMethodCall(
        kService, d_->session, kSessionInterface, QStringLiteral("Close"));
    d_->bus.call(close, QDBus::NoBlock);
    d_->session.clear();
}

void PortalHotKeys::createSession() {
    const quint64 n = ++d_->tokens;
    const QString token = QStringLiteral("tarnwhistle_%1").arg(n);
    // Subscribed before the call: the answer may come before the call returns.
    d_->request = portalRequestPath(d_->bus, token);
    subscribe(d_->request);
    d_->stage = Impl::Stage::creating;

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("CreateSession"));
    call << QVariantMap{
        {QStringLiteral("handle_token"), token},
        {QStringLiteral("session_handle_token"), QStringLiteral("tarnwhistle_session_%1").arg(n)}};
    callWithRequest(call);
}

// Sends a portal call whose answer comes as a Response on the current request object.
void PortalHotKeys::callWithRequest(const QDBusMessage& call) {
    auto* watcher = new QDBusPendingCallWatcher(d_->bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, expected = d_->request](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                if (d_->request != expected) return;  // a later request took over
                if (reply.isError()) {
                    unsubscribe(d_->request);
                    d_->request.clear();
                    finishBind(d_->inFlight, HotKeyError::unavailable());
                    return;
                }
                // Older portals answer on a path of their own choosing.
                const QString handle = reply.value().path();
                if (handle != d_->request) {
                    unsubscribe(d_->request);
                    d_->request = handle;
                    subscribe(handle);
                }
            });
}

void PortalHotKeys::bindShortcuts() {
    QList<PortalShortcutEntry> shortcuts;
    QSet<QString> used;
    for (Impl::Registration& r : d_->registrations) {
        if (!d_->inFlight.contains(r.ref)) continue;
        ShortcutInfo info = d_->infoFor(r.id);
        // Two registrations of one hot key (a replacement under way) need distinct names.
        if (used.contains(info.id)) info.id = QStringLiteral("tw-%1-%2").arg(r.id.id).arg(r.ref);
        used.insert(info.id);
        r.shortcutId = info.id;
        shortcuts.append({info.id,
                          {{QStringLiteral("description"), info.description},
                           {QStringLiteral("preferred_trigger"), r.trigger}}});
    }
    const quint64 n = ++d_->tokens;
    const QString token = QStringLiteral("tarnwhistle_%1").arg(n);
    d_->request = portalRequestPath(d_->bus, token);
    subscribe(d_->request);
    d_->stage = Impl::Stage::binding;

    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                       QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(d_->session)) << QVariant::fromValue(shortcuts)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    callWithRequest(call);
}

void PortalHotKeys::onResponse(const QDBusMessage& message) {
    if (d_->request.isEmpty() || message.path() != d_->request) return;
    unsubscribe(d_->request);
    d_->request.clear();
    const QVariantList args = message.arguments();
    const uint code = args.size() > 0 ? args.at(0).toUInt() : 2;
    const QVariantMap results =
        args.size() > 1 ? qdbus_cast<QVariantMap>(args.at(1)) : QVariantMap();

    if (d_->stage == Impl::Stage::creating) {
        d_->session = pathOf(results.value(QStringLiteral("session_handle")));
        if (code != 0 || d_->session.isEmpty()) {
            d_->session.clear();
            finishBind(d_->inFlight, HotKeyError::unavailable());
            return;
        }
        bindShortcuts();
        return;
    }
    if (d_->stage != Impl::Stage::binding) return;
    // 1: the user declined, 2: the desktop failed; either way nothing was bound.
    const QSet<QString> bound =
        code == 0 ? shortcutIds(results.value(QStringLiteral("shortcuts"))) : QSet<QString>();
    QList<HotKeyRef> refused;
    for (Impl::Registration& r : d_->registrations) {
        if (!d_->inFlight.contains(r.ref)) continue;
        if (bound.contains(r.shortcutId))
            r.bound = true;
        else
            refused.append(r.ref);
    }
    finishBind(refused, HotKeyError::refused(int(code)));
}

void PortalHotKeys::finishBind(const QList<HotKeyRef>& refused, HotKeyError error) {
    struct Failure {
        HotKeyRef ref;
        HotKeyID id;
    };
    QList<Failure> failures;
    for (HotKeyRef ref : refused) {
        const auto it = std::find_if(d_->registrations.begin(), d_->registrations.end(),
                                     [ref](const Impl::Registration& r) { return r.ref == ref; });
        if (it == d_->registrations.end()) continue;  // released meanwhile
        failures.append({ref, it->id});
        d_->registrations.erase(it);
    }
    d_->inFlight.clear();
    d_->stage = Impl::Stage::idle;
    const QPointer<PortalHotKeys> self(this);
    for (const Failure& f : std::as_const(failures)) {
        Q_EMIT registrationFailed(f.ref, f.id, error);
        if (!self) return;
    }
    if (d_->dirty && !d_->bindQueued) bind();
}

void PortalHotKeys::onActivated(const QDBusMessage& message) {
    const QVariantList args = message.arguments();
    if (args.size() < 2 || d_->session.isEmpty()) return;
    if (pathOf(args.at(0)) != d_->session) return;  // another session's shortcut
    const QString shortcutId = args.at(1).toString();
    QList<HotKeyID> ids;
    for (const Impl::Registration& r : std::as_const(d_->registrations)) {
        if (r.bound && r.shortcutId == shortcutId) ids.append(r.id);
    }
    for (const HotKeyID& id : std::as_const(ids)) {
        if (deliver(id)) break;
    }
}

std::optional<RecordedKey> PortalHotKeys::recordedKey(const QKeyEvent& event) const {
    return keycodes::recordedKey(event);
}

}  // namespace tw
