#include "platform/linux/SecretServiceKeyring.h"

#include <libsecret/secret.h>

#include <variant>
#include <vector>

#include "platform/linux/GlibOperation.h"

namespace tw {

namespace {

constexpr char kBusName[] = "org.freedesktop.secrets";
constexpr char kServicePath[] = "/org/freedesktop/secrets";
constexpr char kServiceInterface[] = "org.freedesktop.Secret.Service";
constexpr char kAccount[] = "oauth";
constexpr char kProbeAccount[] = "probe";
constexpr char kContentType[] = "application/octet-stream";

const SecretSchema* schema() {
    static const SecretSchema s = [] {
        SecretSchema x{};
        x.name = "dev.tarnwhistle.Credential";
        // Items with these attributes match whoever stored them (secret-tool, an older build).
        x.flags = SECRET_SCHEMA_DONT_MATCH_NAME;
        x.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        x.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return x;
    }();
    return &s;
}

// libsecret hands every prompt the keyring asks for to its service object; ours refuses them all,
// so no step can ever put a dialog in front of the user. The prompt is dismissed unseen.
GQuark promptRefused() {
    return g_quark_from_static_string("tw-keyring-prompt-refused");
}

void dismiss(SecretPrompt* prompt) {
    g_dbus_proxy_call(G_DBUS_PROXY(prompt), "Dismiss", nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START,
                      2000, nullptr, nullptr, nullptr);
}

GVariant* refusePromptSync(SecretService*, SecretPrompt* prompt, GCancellable*, const GVariantType*,
                           GError** error) {
    dismiss(prompt);
    g_set_error_literal(error, promptRefused(), 1, "the keyring wanted to ask the user");
    return nullptr;
}

void refusePrompt(SecretService* self, SecretPrompt* prompt, const GVariantType*, GCancellable*,
                  GAsyncReadyCallback callback, gpointer data) {
    dismiss(prompt);
    GTask* task = g_task_new(self, nullptr, callback, data);
    g_task_return_new_error(task, promptRefused(), 1, "the keyring wanted to ask the user");
    g_object_unref(task);
}

GVariant* refusePromptFinish(SecretService*, GAsyncResult* result, GError** error) {
    return static_cast<GVariant*>(g_task_propagate_pointer(G_TASK(result), error));
}

// libsecret's service constructor points every service object at the session bus that GLib
// shares in the process. Ours talks over the connection it is given (its own, to the bus of our
// choosing): the bus type is set back to none, while construct-only properties may still be set.
GObjectClass* parentClass = nullptr;

GObject* quietServiceConstructor(GType type, guint count, GObjectConstructParam* properties) {
    GObject* object = parentClass->constructor(type, count, properties);
    g_object_set(object, "g-bus-type", G_BUS_TYPE_NONE, static_cast<const char*>(nullptr));
    return object;
}

void quietServiceClassInit(gpointer klass, gpointer) {
    parentClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
    G_OBJECT_CLASS(klass)->constructor = quietServiceConstructor;
    auto* service = static_cast<SecretServiceClass*>(klass);
    service->prompt_sync = refusePromptSync;
    service->prompt_async = refusePrompt;
    service->prompt_finish = refusePromptFinish;
}

GType quietServiceType() {
    static const GType type = g_type_register_static_simple(
        SECRET_TYPE_SERVICE, "TwQuietSecretService", sizeof(SecretServiceClass),
        quietServiceClassInit, sizeof(SecretService), nullptr, GTypeFlags(0));
    return type;
}

// The errors that say no Secret Service is on the bus, nor one that the bus could start.
bool serviceMissing(const GError* error) {
    if (error == nullptr || error->domain != G_DBUS_ERROR) return false;
    switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
        case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return true;
        default:
            return false;
    }
}

const CredentialFailure kLocked{QStringLiteral("The keyring is locked")};

using Item = glib::Object<SecretItem>;
using Items = std::vector<Item>;
using Collection = glib::Object<SecretCollection>;

// Attributes of one credential: service and account.
class Attributes {
public:
    Attributes(const QString& service, const char* account)
        : service_(service.toUtf8()), table_(g_hash_table_new(g_str_hash, g_str_equal)) {
        g_hash_table_insert(table_, const_cast<char*>("service"), service_.data());
        g_hash_table_insert(table_, const_cast<char*>("account"), const_cast<char*>(account));
    }
    ~Attributes() { g_hash_table_unref(table_); }
    Attributes(const Attributes&) = delete;
    Attributes& operator=(const Attributes&) = delete;
    GHashTable* get() const { return table_; }

private:
    QByteArray service_;
    GHashTable* table_;
};

class Value {
public:
    explicit Value(const QByteArray& data)
        : value_(secret_value_new(data.constData(), data.size(), kContentType)) {}
    ~Value() { secret_value_unref(value_); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
    SecretValue* get() const { return value_; }

private:
    SecretValue* value_;
};

}  // namespace

struct SecretServiceKeyring::Impl {
    explicit Impl(Options o) : options(std::move(o)), context(g_main_context_new()) {}
    ~Impl() {
        service.reset();
        connection.reset();
        g_main_context_unref(context);
    }
    void disconnect() {
        service.reset();
        connection.reset();
        owner.clear();
    }
    // Whether the keyring that the session was opened with still owns its name: one that was
    // restarted (KeePassXC closed and opened again) knows nothing of our session.
    bool connected() const {
        if (!service || !connection || g_dbus_connection_is_closed(connection.get())) return false;
        gchar* now = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(service.get()));
        const bool same = now != nullptr && owner == now;
        g_free(now);
        return same;
    }

    Options options;
    GMainContext* context;
    glib::Object<GDBusConnection> connection;
    glib::Object<SecretService> service;
    QByteArray owner;  // the unique bus name of the keyring the session belongs to
};

namespace {

// The steps of one keyring operation, all within the operation's time limit. A step that fails
// on an error of the bus or the keyring drops the connection, so the next operation starts
// afresh (the keyring may have been restarted).
class Steps {
public:
    explicit Steps(SecretServiceKeyring::Impl& d) : d_(d), op_(d.context, d.options.timeoutMs) {}

    // Connects to the bus and opens a session with the keyring, unless still connected.
    // `missing` tells whether a failure means that no Secret Service is there at all.
    std::optional<CredentialFailure> connect(bool* missing = nullptr) {
        if (d_.connected()) return std::nullopt;
        d_.disconnect();
        bool dummy = false;
        bool& absent = missing ? *missing : dummy;

        QByteArray address = d_.options.busAddress.toUtf8();
        if (address.isEmpty()) {
            GError* error = nullptr;
            gchar* found =
                g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, op_.cancellable(), &error);
            if (found == nullptr) {
                absent = true;
                return failed("There is no session bus", error);
            }
            address = found;
            g_free(found);
        }
        auto result = op_.wait([&](GAsyncReadyCallback callback, gpointer data) {
            g_dbus_connection_new_for_address(
                address.constData(),
                GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                     G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                nullptr, op_.cancellable(), callback, data);
        });
        GError* error = nullptr;
        GDBusConnection* connection =
            result ? g_dbus_connection_new_for_address_finish(result.get(), &error) : nullptr;
        if (connection == nullptr) {
            absent = true;
            return failed("The bus cannot be reached", error);
        }
        d_.connection.reset(connection);

        result = op_.wait([&](GAsyncReadyCallback callback, gpointer data) {
            g_async_initable_new_async(
                quietServiceType(), G_PRIORITY_DEFAULT, op_.cancellable(), callback, data,
                "g-flags", G_DBUS_PROXY_FLAGS_NONE, "g-name", kBusName, "g-connection", connection,
                "g-object-path", kServicePath, "g-interface-name", kServiceInterface, "flags",
                SECRET_SERVICE_OPEN_SESSION, static_cast<const char*>(nullptr));
        });
        GObject* service = nullptr;
        if (result) {
            GObject* source = g_async_result_get_source_object(result.get());
            service = g_async_initable_new_finish(G_ASYNC_INITABLE(source), result.get(), &error);
            g_object_unref(source);
        }
        if (service == nullptr) {
            absent = serviceMissing(error);
            return failed("The keyring cannot be reached", error);
        }
        d_.service.reset(SECRET_SERVICE(service));
        gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(service));
        d_.owner = owner;
        g_free(owner);
        return std::nullopt;
    }

    // The collection the "default" alias names; null when there is none.
    std::variant<Collection, CredentialFailure> defaultCollection() {
        auto result = op_.wait([&](GAsyncReadyCallback callback, gpointer data) {
            secret_collection_for_alias(d_.service.get(), SECRET_COLLECTION_DEFAULT,
                                        SECRET_COLLECTION_NONE, op_.cancellable(), callback, data);
        });
        GError* error = nullptr;
        SecretCollection* collection =
            result ? secret_collection_for_alias_finish(result.get(), &error) : nullptr;
        if (error != nullptr || !result) {
            return failed("The keyring's default collection cannot be found", error);
        }
        return Collection(collection);
    }

    // The default collection, when it is there and unlocked.
    std::variant<Collection, CredentialFailure> unlockedCollection() {
        auto found = defaultCollection();
        if (std::holds_alternative<CredentialFailure>(found)) return found;
        const Collection& collection = std::get<Collection>(found);
        if (!collection) {
            return CredentialFailure{QStringLiteral("The keyring has no default collection")};
        }
        if (secret_collection_get_locked(collection.get())) return kLocked;
        return found;
    }

    // Every item with these attributes, in any collection; failure when one of them is locked.
    std::variant<Items, CredentialFailure> search(const QString& service, const char* account,
                                                  bool loadSecrets) {
        const Attributes attributes(service, account);
        const auto flags =
            SecretSearchFlags(SECRET_SEARCH_ALL | (loadSecrets ? SECRET_SEARCH_LOAD_SECRETS : 0));
        auto result = op_.wait([&](GAsyncReadyCallback callback, gpointer data) {
            secret_service_search(d_.service.get(), schema(), attributes.get(), flags,
                                  op_.cancellable(), callback, data);
        });
        GError* error = nullptr;
        GList* list =
            result ? secret_service_search_finish(d_.service.get(), result.get(), &error) : nullptr;
        if (error != nullptr || !result) return failed("The keyring cannot be searched", error);
        Items items;
        bool locked = false;
        for (GList* l = list; l != nullptr; l = l->next) {
            items.emplace_back(static_cast<SecretItem*>(l->data));
            locked = locked || secret_item_get_locked(items.back().get());
        }
        g_list_free(list);
        if (locked) return kLocked;
        return items;
    }

    std::variant<Item, CredentialFailure> create(SecretCollection* collection,
                                                 const QString& service, const char* account,
                                                 const QByteArray& data, const QString& label) {
        const Attributes attributes(service, account);
        const Value value(data);
        const QByteArray labelText = label.toUtf8();
        auto result = op_.wait([&](GAsyncReadyCallback callback, gpointer cbData) {
            secret_item_create(collection, schema(), attributes.get(), labelText.constData(),
                               value.get(), SECRET_ITEM_CREATE_REPLACE, op_.cancellable(), callback,
                               cbData);
        });
        GError* error = nullptr;
        SecretItem* item = result ? secret_item_create_finish(result.get(), &error) : nullptr;
        if (item == nullptr) return failed("The keyring refused the new item", error);
        return Item(item);
    }

    std::optional<CredentialFailure> setSecret(SecretItem* item, const QByteArray& data) {
        const Value value(data);
        auto result = op_.wait([&](GAsyncReadyCallback callback, gpointer cbData) {
            secret_item_set_secret(item, value.get(), op_.cancellable(), callback, cbData);
        });
        GError* error = nullptr;
        if (result && secret_item_set_secret_finish(item, result.get(), &error)) {
            return std::nullopt;
        }
        return failed("The keyring refused the new secret", error);
    }

    // Deleting an item that is already gone succeeds.
    std::optional<CredentialFailure> remove(SecretItem* item) {
        auto result = op_.wait([&](GAsyncReadyCallback callback, gpointer data) {
            secret_item_delete(item, op_.cancellable(), callback, data);
        });
        GError* error = nullptr;
        if (result && secret_item_delete_finish(item, result.get(), &error)) return std::nullopt;
        if (g_error_matches(error, SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT)) {
            g_error_free(error);
            return std::nullopt;
        }
        return failed("The keyring refused to remove the item", error);
    }

private:
    CredentialFailure failed(const char* what, GError* error) {
        const glib::Error owned(error);
        d_.disconnect();
        QString detail = QString::fromUtf8(what);
        if (op_.timedOut()) {
            detail += QStringLiteral(": no answer within %1 ms").arg(d_.options.timeoutMs);
        } else if (error != nullptr && error->domain == promptRefused()) {
            detail = kLocked.detail + QStringLiteral(" (it wanted to ask the user)");
        } else if (error != nullptr) {
            detail += QStringLiteral(": ") + glib::message(error);
        }
        return CredentialFailure{detail};
    }

    SecretServiceKeyring::Impl& d_;
    glib::Operation op_;
};

QString labelFor(const QString& service) {
    return QStringLiteral("Tarnwhistle (%1)").arg(service);
}

}  // namespace

SecretServiceKeyring::SecretServiceKeyring(Options options)
    : d_(std::make_unique<Impl>(std::move(options))) {}

SecretServiceKeyring::~SecretServiceKeyring() = default;

bool SecretServiceKeyring::probe() {
    Steps steps(*d_);
    bool missing = false;
    if (steps.connect(&missing)) return !missing;
    auto found = steps.defaultCollection();
    if (std::holds_alternative<CredentialFailure>(found)) return true;
    const Collection& collection = std::get<Collection>(found);
    // A keyring without a default collection could only take items after asking the user to
    // create one.
    if (!collection) return false;
    if (secret_collection_get_locked(collection.get())) return true;
    auto created =
        steps.create(collection.get(), QString::fromLatin1(kProbeService), kProbeAccount,
                     QByteArrayLiteral("probe"), QStringLiteral("Tarnwhistle keyring probe"));
    if (auto* item = std::get_if<Item>(&created)) steps.remove(item->get());
    return true;
}

CredentialRead SecretServiceKeyring::read(const QString& service) {
    Steps steps(*d_);
    if (auto f = steps.connect()) return *f;
    auto collection = steps.unlockedCollection();
    if (auto* f = std::get_if<CredentialFailure>(&collection)) return *f;
    auto found = steps.search(service, kAccount, true);
    if (auto* f = std::get_if<CredentialFailure>(&found)) return *f;
    const Items& items = std::get<Items>(found);
    if (items.empty()) return std::optional<QByteArray>();
    SecretValue* value = secret_item_get_secret(items.front().get());
    if (value == nullptr) {
        return CredentialFailure{QStringLiteral("The keyring gave the item without its secret")};
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    QByteArray data(bytes, static_cast<qsizetype>(length));
    secret_value_unref(value);
    return std::optional<QByteArray>(std::move(data));
}

std::optional<CredentialFailure> SecretServiceKeyring::write(const QString& service,
                                                             const QByteArray& data) {
    Steps steps(*d_);
    if (auto f = steps.connect()) return f;
    auto collection = steps.unlockedCollection();
    if (auto* f = std::get_if<CredentialFailure>(&collection)) return *f;
    auto found = steps.search(service, kAccount, false);
    if (auto* f = std::get_if<CredentialFailure>(&found)) return *f;
    const Items& items = std::get<Items>(found);
    if (items.empty()) {
        auto created = steps.create(std::get<Collection>(collection).get(), service, kAccount, data,
                                    labelFor(service));
        if (auto* f = std::get_if<CredentialFailure>(&created)) return *f;
        return std::nullopt;
    }
    // Replace the secret of the item that is there, wherever it lives; copies go.
    if (auto f = steps.setSecret(items.front().get(), data)) return f;
    for (size_t i = 1; i < items.size(); ++i) steps.remove(items[i].get());
    return std::nullopt;
}

std::optional<CredentialFailure> SecretServiceKeyring::remove(const QString& service) {
    Steps steps(*d_);
    if (auto f = steps.connect()) return f;
    auto collection = steps.unlockedCollection();
    if (auto* f = std::get_if<CredentialFailure>(&collection)) return *f;
    auto found = steps.search(service, kAccount, false);
    if (auto* f = std::get_if<CredentialFailure>(&found)) return *f;
    for (const Item& item : std::get<Items>(found)) {
        if (auto f = steps.remove(item.get())) return f;
    }
    return std::nullopt;
}

}  // namespace tw
