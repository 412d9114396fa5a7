#include "storage/SecretServiceKeychainStore.h"

#include "records/Errors.h"
#include "storage/SecretServiceErrors.h"
#include "support/LogSink.h"
#include "support/Text.h"

#include <sodium.h>

// The D-Bus object path API lets the store search, read and write without libsecret's automatic
// unlocking, which would show a prompt and block until a person answers it.
#define SECRET_API_SUBJECT_TO_CHANGE
#include <libsecret/secret.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace loftwing {
namespace {

constexpr const char* kDefaultCollectionPath = "/org/freedesktop/secrets/aliases/default";
constexpr const char* kContentType = "application/octet-stream";
constexpr const char* kSchemaName = "com.loftwing.multi.KeychainItem";

// Other tools (secret-tool, Seahorse) find the items by their attributes alone, so the schema name
// is written but never required when matching.
const SecretSchema* itemSchema() {
    static const SecretSchema schema = {
        kSchemaName,
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"accessGroup", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };
    return &schema;
}

std::mutex& libsecretMutex() {
    static std::mutex mutex;
    return mutex;
}

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct HashTableUnref {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
struct ValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct StrvFree {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};
struct StringFree {
    void operator()(gchar* text) const { g_free(text); }
};
struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};

using ErrorPtr = std::unique_ptr<GError, ErrorFree>;
using HashTablePtr = std::unique_ptr<GHashTable, HashTableUnref>;
using ValuePtr = std::unique_ptr<SecretValue, ValueUnref>;
using ServicePtr = std::unique_ptr<SecretService, ObjectUnref>;
using StrvPtr = std::unique_ptr<gchar*, StrvFree>;
using StringPtr = std::unique_ptr<gchar, StringFree>;
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

constexpr const char* kSecretsName = "org.freedesktop.secrets";
constexpr const char* kItemInterface = "org.freedesktop.Secret.Item";
constexpr const char* kCollectionInterface = "org.freedesktop.Secret.Collection";
constexpr const char* kNoPrompt = "/";

// The keyring's own message may name items; the log gets the error's domain, code and D-Bus name.
[[noreturn]] void fail(const char* step, const ErrorPtr& error) {
    const LoftwingMultiError mapped = keychainError(error.get());
    std::string message = std::string(step) + " failed: ";
    if (error) {
        message += g_quark_to_string(error->domain);
        message += " " + std::to_string(error->code);
        if (g_dbus_error_is_remote_error(error.get())) {
            const StringPtr name(g_dbus_error_get_remote_error(error.get()));
            message += std::string(" ") + (name ? name.get() : "");
        }
    } else {
        message += "no error";
    }
    message += ", reported as " + std::string(mapped.what());
    logMessage(LogLevel::warning, "keyring", message);
    throw mapped;
}

// A D-Bus call with the store's time-out. libsecret's own calls on paths use the bus default of
// 25 s, which a frozen keyring daemon turns into a 25 s wait per call.
VariantPtr call(SecretService* service, const char* step, const char* path, const char* interface,
                const char* method, GVariant* parameters, const GVariantType* replyType,
                std::chrono::milliseconds timeout) {
    GDBusProxy* proxy = G_DBUS_PROXY(service);
    GError* raw = nullptr;
    VariantPtr reply(g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), path, interface, method,
        parameters, replyType, G_DBUS_CALL_FLAGS_NO_AUTO_START, static_cast<gint>(timeout.count()),
        nullptr, &raw));
    ErrorPtr error(raw);
    if (!reply) {
        fail(step, error);
    }
    return reply;
}

// Methods that change items answer a prompt path when they would need a person: this store never
// shows one.
void requireNoPrompt(const char* prompt) {
    if (std::string_view(prompt) != kNoPrompt) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
}

// D-Bus strings are NUL-terminated UTF-8: a key with a NUL byte would silently name another item,
// and invalid UTF-8 would make GLib abort the call.
void requireDBusString(const std::string& text) {
    if (text.find('\0') != std::string::npos || !isValidUTF8(text)) {
        throw LoftwingMultiError::invalidData();
    }
}

void requireDBusStrings(const std::string& service, const std::optional<std::string>& group,
                        const std::string& account) {
    requireDBusString(service);
    if (group) {
        requireDBusString(*group);
    }
    requireDBusString(account);
}

// The Secret Service proxy with a session, after a ping with the store's time-out: libsecret
// creates its proxy and session with the bus default of 25 s per call, and only a daemon that
// answered a moment ago is asked to.
ServicePtr connectedService(std::chrono::milliseconds timeout) {
    // Registers libsecret's D-Bus error names, so the service's errors arrive in SECRET_ERROR.
    static_cast<void>(secret_error_get_quark());
    GError* raw = nullptr;
    std::unique_ptr<GDBusConnection, ObjectUnref> bus(
        g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    ErrorPtr error(raw);
    if (!bus) {
        fail("connect", error);
    }
    raw = nullptr;
    const VariantPtr pong(g_dbus_connection_call_sync(
        bus.get(), kSecretsName, "/org/freedesktop/secrets", "org.freedesktop.DBus.Peer", "Ping",
        nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, static_cast<gint>(timeout.count()), nullptr,
        &raw));
    error.reset(raw);
    if (!pong) {
        fail("ping", error);
    }
    raw = nullptr;
    ServicePtr service(secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &raw));
    error.reset(raw);
    if (!service) {
        fail("connect", error);
    }
    // Every later call through the proxy (search, secrets, aliases, the session) uses it too.
    g_dbus_proxy_set_default_timeout(G_DBUS_PROXY(service.get()),
                                     static_cast<gint>(timeout.count()));
    raw = nullptr;
    if (!secret_service_ensure_session_sync(service.get(), nullptr, &raw)) {
        error.reset(raw);
        fail("open session", error);
    }
    return service;
}

struct ItemPaths {
    StrvPtr unlocked;
    StrvPtr locked;
};

ItemPaths searchItems(SecretService* service, GHashTable* attributes) {
    GError* raw = nullptr;
    gchar** unlocked = nullptr;
    gchar** locked = nullptr;
    const gboolean found = secret_service_search_for_dbus_paths_sync(
        service, itemSchema(), attributes, nullptr, &unlocked, &locked, &raw);
    ItemPaths paths{StrvPtr(unlocked), StrvPtr(locked)};
    ErrorPtr error(raw);
    if (!found) {
        fail("search", error);
    }
    return paths;
}

bool hasAny(const StrvPtr& paths) {
    return paths && paths.get()[0] != nullptr;
}

// A locked collection hides its items from reads, so "nothing found" is only trustworthy once the
// default collection is known to be unlocked. No default collection means nothing was stored.
bool defaultCollectionIsLocked(SecretService* service, std::chrono::milliseconds timeout) {
    GError* raw = nullptr;
    StringPtr path(secret_service_read_alias_dbus_path_sync(service, "default", nullptr, &raw));
    ErrorPtr error(raw);
    if (error) {
        fail("read alias", error);
    }
    if (!path) {
        return false;
    }
    const VariantPtr reply =
        call(service, "locked state", path.get(), "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", kCollectionInterface, "Locked"), G_VARIANT_TYPE("(v)"), timeout);
    VariantPtr locked;
    {
        GVariant* inner = nullptr;
        g_variant_get(reply.get(), "(v)", &inner);
        locked.reset(inner);
    }
    if (!g_variant_is_of_type(locked.get(), G_VARIANT_TYPE_BOOLEAN)) {
        throw LoftwingMultiError::invalidData();
    }
    return g_variant_get_boolean(locked.get()) != FALSE;
}

// The attribute table points into the strings it is given; they must outlive it.
HashTablePtr serviceAttributes(const std::string& service,
                               const std::optional<std::string>& group) {
    HashTablePtr table(g_hash_table_new(g_str_hash, g_str_equal));
    g_hash_table_insert(table.get(), const_cast<char*>("service"),
                        const_cast<char*>(service.c_str()));
    g_hash_table_insert(table.get(), const_cast<char*>("accessGroup"),
                        const_cast<char*>(group ? group->c_str() : ""));
    return table;
}

HashTablePtr itemAttributes(const std::string& service, const std::optional<std::string>& group,
                            const std::string& account) {
    HashTablePtr table = serviceAttributes(service, group);
    g_hash_table_insert(table.get(), const_cast<char*>("account"),
                        const_cast<char*>(account.c_str()));
    return table;
}

// The a{sv} properties of a new item: its label and attributes, the schema name among them.
GVariant* itemProperties(const std::string& service, const std::optional<std::string>& group,
                         const std::string& account) {
    GVariantBuilder attributes;
    g_variant_builder_init(&attributes, G_VARIANT_TYPE("a{ss}"));
    g_variant_builder_add(&attributes, "{ss}", "service", service.c_str());
    g_variant_builder_add(&attributes, "{ss}", "account", account.c_str());
    g_variant_builder_add(&attributes, "{ss}", "accessGroup", group ? group->c_str() : "");
    g_variant_builder_add(&attributes, "{ss}", "xdg:schema", kSchemaName);

    const std::string label = "Zevirudi: " + account;
    GVariantBuilder properties;
    g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Label",
                          g_variant_new_string(label.c_str()));
    g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Item.Attributes",
                          g_variant_builder_end(&attributes));
    return g_variant_builder_end(&properties);
}

// Deleting an item someone else deleted in the meantime reaches the goal too.
void deleteItem(SecretService* service, const char* path, std::chrono::milliseconds timeout) {
    GDBusProxy* proxy = G_DBUS_PROXY(service);
    GError* raw = nullptr;
    const VariantPtr reply(g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy), path, kItemInterface,
        "Delete", nullptr, G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
        static_cast<gint>(timeout.count()), nullptr, &raw));
    ErrorPtr error(raw);
    if (!reply) {
        const bool gone =
            (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_NO_SUCH_OBJECT) ||
            (error->domain == G_DBUS_ERROR && error->code == G_DBUS_ERROR_UNKNOWN_OBJECT) ||
            (error->domain == G_DBUS_ERROR && error->code == G_DBUS_ERROR_UNKNOWN_METHOD);
        if (gone) {
            return;
        }
        fail("delete", error);
    }
    const char* prompt = nullptr;
    g_variant_get(reply.get(), "(&o)", &prompt);
    requireNoPrompt(prompt);
}

// The account key of every item and the secret of every unlocked one, fetched with one
// GetSecrets call and one attribute read per item, all sent at once and awaited together.
struct ItemContents {
    ItemContents() = default;
    ItemContents(ItemContents&&) = default;
    ItemContents& operator=(ItemContents&&) = default;
    ~ItemContents() {
        for (auto& [path, secret] : secretOf) {
            sodium_memzero(secret.data(), secret.size());
        }
    }

    std::map<std::string, std::string> accountOf;  // path to account key
    std::map<std::string, std::string> secretOf;   // path to bytes
};

struct PendingCalls {
    int pending = 0;
    ErrorPtr error;  // the first failure
    ItemContents contents;
    SecretService* service = nullptr;

    void finish(GError* raw) {
        ErrorPtr failure(raw);
        if (failure && !error) {
            error = std::move(failure);
        }
        --pending;
    }
};

struct AttributeCall {
    PendingCalls* calls;
    std::string path;
};

void attributesArrived(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<AttributeCall> call(static_cast<AttributeCall*>(data));
    GError* raw = nullptr;
    VariantPtr reply(g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw));
    if (reply) {
        GVariant* inner = nullptr;
        g_variant_get(reply.get(), "(v)", &inner);
        const VariantPtr attributes(inner);
        const gchar* account = nullptr;
        if (g_variant_is_of_type(attributes.get(), G_VARIANT_TYPE("a{ss}")) &&
            g_variant_lookup(attributes.get(), "account", "&s", &account)) {
            call->calls->contents.accountOf.emplace(call->path, account);
        }
    }
    call->calls->finish(raw);
}

void secretsArrived(GObject*, GAsyncResult* result, gpointer data) {
    auto* calls = static_cast<PendingCalls*>(data);
    GError* raw = nullptr;
    const HashTablePtr secrets(
        secret_service_get_secrets_for_dbus_paths_finish(calls->service, result, &raw));
    if (secrets) {
        GHashTableIter iterator;
        gpointer path = nullptr;
        gpointer value = nullptr;
        g_hash_table_iter_init(&iterator, secrets.get());
        while (g_hash_table_iter_next(&iterator, &path, &value)) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(static_cast<SecretValue*>(value), &length);
            calls->contents.secretOf.emplace(static_cast<const char*>(path),
                                             std::string(bytes, length));
        }
    }
    calls->finish(raw);
}

ItemContents readItemContents(SecretService* service, const ItemPaths& paths,
                              std::chrono::milliseconds timeout) {
    PendingCalls calls;
    calls.service = service;
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GDBusProxy* proxy = G_DBUS_PROXY(service);
    for (const StrvPtr* list : {&paths.unlocked, &paths.locked}) {
        for (gchar** path = list->get(); path && *path != nullptr; ++path) {
            ++calls.pending;
            g_dbus_connection_call(g_dbus_proxy_get_connection(proxy), g_dbus_proxy_get_name(proxy),
                                   *path, "org.freedesktop.DBus.Properties", "Get",
                                   g_variant_new("(ss)", kItemInterface, "Attributes"),
                                   G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
                                   static_cast<gint>(timeout.count()), nullptr, attributesArrived,
                                   new AttributeCall{&calls, *path});
        }
    }
    if (hasAny(paths.unlocked)) {
        ++calls.pending;
        secret_service_get_secrets_for_dbus_paths(service,
                                                  const_cast<const gchar**>(paths.unlocked.get()),
                                                  nullptr, secretsArrived, &calls);
    }
    while (calls.pending > 0) {
        g_main_context_iteration(context, TRUE);
    }
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    if (calls.error) {
        fail("read items", calls.error);
    }
    return std::move(calls.contents);
}

}  // namespace

SecretServiceKeychainStore::SecretServiceKeychainStore(std::string service,
                                                       std::optional<std::string> accessGroup,
                                                       std::chrono::milliseconds callTimeout)
    : service_(std::move(service)), callTimeout_(callTimeout) {
    if (accessGroup) {
        auto trimmed = trimmingWhitespaceAndNewlines(*accessGroup);
        if (!trimmed.empty()) {
            accessGroup_ = std::move(trimmed);
        }
    }
}

std::optional<std::string> SecretServiceKeychainStore::read(const std::string& account) {
    requireDBusStrings(service_, accessGroup_, account);
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const HashTablePtr attributes = itemAttributes(service_, accessGroup_, account);
    const ItemPaths paths = searchItems(service.get(), attributes.get());

    if (hasAny(paths.unlocked)) {
        GError* raw = nullptr;
        ValuePtr value(secret_service_get_secret_for_dbus_path_sync(
            service.get(), paths.unlocked.get()[0], nullptr, &raw));
        ErrorPtr error(raw);
        if (error) {
            fail("read", error);
        }
        if (value) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(value.get(), &length);
            return std::string(bytes, length);
        }
        // The item was locked or deleted between the search and the read: fall through.
    }
    if (hasAny(paths.locked)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    if (defaultCollectionIsLocked(service.get(), callTimeout_)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    return std::nullopt;
}

std::vector<std::optional<std::string>> SecretServiceKeychainStore::readMany(
    const std::vector<std::string>& accounts) {
    for (const auto& account : accounts) {
        requireDBusStrings(service_, accessGroup_, account);
    }
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const HashTablePtr attributes = serviceAttributes(service_, accessGroup_);
    const ItemPaths paths = searchItems(service.get(), attributes.get());
    const ItemContents contents = readItemContents(service.get(), paths, callTimeout_);

    // As read() does for each key alone: the first unlocked item of the key that still has its
    // secret; otherwise a locked item of the key, or a locked default collection, is a lock.
    std::map<std::string, const std::string*> unlockedBytes;
    for (gchar** path = paths.unlocked.get(); path && *path != nullptr; ++path) {
        const auto account = contents.accountOf.find(*path);
        const auto secret = contents.secretOf.find(*path);
        if (account != contents.accountOf.end() && secret != contents.secretOf.end()) {
            unlockedBytes.emplace(account->second, &secret->second);
        }
    }
    std::optional<bool> defaultLocked;
    std::vector<std::optional<std::string>> items;
    items.reserve(accounts.size());
    for (const auto& account : accounts) {
        if (const auto found = unlockedBytes.find(account); found != unlockedBytes.end()) {
            items.emplace_back(*found->second);
            continue;
        }
        for (gchar** path = paths.locked.get(); path && *path != nullptr; ++path) {
            const auto owner = contents.accountOf.find(*path);
            if (owner != contents.accountOf.end() && owner->second == account) {
                throw LoftwingMultiError::interactionNotAllowed();
            }
        }
        if (!defaultLocked) {
            defaultLocked = defaultCollectionIsLocked(service.get(), callTimeout_);
        }
        if (*defaultLocked) {
            throw LoftwingMultiError::interactionNotAllowed();
        }
        items.emplace_back(std::nullopt);
    }
    return items;
}

void SecretServiceKeychainStore::save(const std::string& bytes, const std::string& account) {
    requireDBusStrings(service_, accessGroup_, account);
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const ValuePtr value(
        secret_value_new(bytes.data(), static_cast<gssize>(bytes.size()), kContentType));

    // A read takes the first unlocked item the search finds, whoever wrote it and in whichever
    // collection: that item gets the bytes, and every other one of the same key goes, so a later
    // read cannot pick a stale copy.
    const HashTablePtr attributes = itemAttributes(service_, accessGroup_, account);
    const ItemPaths paths = searchItems(service.get(), attributes.get());
    if (hasAny(paths.unlocked)) {
        gchar** found = paths.unlocked.get();
        call(service.get(), "update", found[0], kItemInterface, "SetSecret",
             g_variant_new("(@(oayays))",
                           secret_service_encode_dbus_secret(service.get(), value.get())),
             nullptr, callTimeout_);
        for (gchar** duplicate = found + 1; *duplicate != nullptr; ++duplicate) {
            deleteItem(service.get(), *duplicate, callTimeout_);
        }
        return;
    }
    if (hasAny(paths.locked)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    const VariantPtr created =
        call(service.get(), "create", kDefaultCollectionPath, kCollectionInterface, "CreateItem",
             g_variant_new("(@a{sv}@(oayays)b)", itemProperties(service_, accessGroup_, account),
                           secret_service_encode_dbus_secret(service.get(), value.get()), TRUE),
             G_VARIANT_TYPE("(oo)"), callTimeout_);
    const char* item = nullptr;
    const char* prompt = nullptr;
    g_variant_get(created.get(), "(&o&o)", &item, &prompt);
    requireNoPrompt(prompt);
}

void SecretServiceKeychainStore::remove(const std::string& account) {
    requireDBusStrings(service_, accessGroup_, account);
    std::lock_guard lock(libsecretMutex());

    const ServicePtr service = connectedService(callTimeout_);
    const HashTablePtr attributes = itemAttributes(service_, accessGroup_, account);
    const ItemPaths paths = searchItems(service.get(), attributes.get());

    // Deleting nothing while a matching item stays behind a lock would report a removal that did
    // not happen.
    if (hasAny(paths.locked)) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
    if (!hasAny(paths.unlocked)) {
        if (defaultCollectionIsLocked(service.get(), callTimeout_)) {
            throw LoftwingMultiError::interactionNotAllowed();
        }
        return;
    }
    for (gchar** path = paths.unlocked.get(); *path != nullptr; ++path) {
        deleteItem(service.get(), *path, callTimeout_);
    }
}

}  // namespace loftwing
