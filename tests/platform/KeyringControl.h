#pragma once

// What the tests do to the desktop's keyring behind the program's back, over the Secret Service
// API on the bus (and gnome-keyring's own unlock call, which takes the password without a prompt).

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>
#include <QMap>

namespace tw::test::keyring {

inline const QString kName = QStringLiteral("org.freedesktop.secrets");
inline const QString kPath = QStringLiteral("/org/freedesktop/secrets");
inline const QString kService = QStringLiteral("org.freedesktop.Secret.Service");

inline QDBusMessage call(const QString& method, const QVariantList& args,
                         const QString& interface = kService,
                         QDBusConnection bus = QDBusConnection::sessionBus()) {
    QDBusMessage message = QDBusMessage::createMethodCall(kName, kPath, interface, method);
    message.setArguments(args);
    return bus.call(message, QDBus::Block, 10000);
}

inline QDBusObjectPath defaultCollection() {
    const QDBusMessage reply = call(QStringLiteral("ReadAlias"), {QStringLiteral("default")});
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().value(0).value<QDBusObjectPath>();
}

inline bool lock(const QDBusObjectPath& collection) {
    const QDBusMessage reply =
        call(QStringLiteral("Lock"), {QVariant::fromValue(QList<QDBusObjectPath>{collection})});
    return reply.type() == QDBusMessage::ReplyMessage;
}

// gnome-keyring's unlock with the password, for putting things back after a test locked them.
inline bool unlock(const QDBusObjectPath& collection, const QByteArray& password) {
    const QDBusMessage session =
        call(QStringLiteral("OpenSession"),
             {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))});
    if (session.type() != QDBusMessage::ReplyMessage) return false;
    QDBusArgument secret;
    secret.beginStructure();
    secret << session.arguments().value(1).value<QDBusObjectPath>() << QByteArray() << password
           << QStringLiteral("text/plain");
    secret.endStructure();
    const QDBusMessage reply =
        call(QStringLiteral("UnlockWithMasterPassword"),
             {QVariant::fromValue(collection), QVariant::fromValue(secret)},
             QStringLiteral("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface"));
    return reply.type() == QDBusMessage::ReplyMessage;
}

// The items with these attributes, locked or not.
inline QList<QDBusObjectPath> items(const QString& service, const QString& account) {
    using Attributes = QMap<QString, QString>;
    qDBusRegisterMetaType<Attributes>();
    const QDBusMessage reply =
        call(QStringLiteral("SearchItems"),
             {QVariant::fromValue(Attributes{{QStringLiteral("service"), service},
                                             {QStringLiteral("account"), account}})});
    QList<QDBusObjectPath> found;
    for (const QVariant& list : reply.arguments()) {
        found += qdbus_cast<QList<QDBusObjectPath>>(list.value<QDBusArgument>());
    }
    return found;
}

}  // namespace tw::test::keyring
