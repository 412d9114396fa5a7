#include "storage/SecretServiceCalls.h"

#include "storage/SecretServiceErrors.h"
#include "support/LogSink.h"

#include <string_view>

namespace loftwing::secret_service {
namespace {

constexpr const char* kSecretsName = "org.freedesktop.secrets";
constexpr const char* kNoPrompt = "/";

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

}  // namespace

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

void requireNoPrompt(const char* prompt) {
    if (std::string_view(prompt) != kNoPrompt) {
        throw LoftwingMultiError::interactionNotAllowed();
    }
}

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

}  // namespace loftwing::secret_service
