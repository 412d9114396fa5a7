#include "helpers/PrivateKeyring.h"

#include <gio/gio.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace loftwing::test {
namespace {

constexpr const char* kBusName = "org.freedesktop.secrets";
constexpr const char* kServicePath = "/org/freedesktop/secrets";

struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

VariantPtr call(const char* path, const char* interface, const char* method, GVariant* arguments,
                const char* replyType, const char* destination = kBusName) {
    GError* error = nullptr;
    std::unique_ptr<GDBusConnection, ObjectUnref> bus(
        g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
    if (!bus) {
        g_error_free(error);
        throw std::runtime_error("no session bus");
    }
    VariantPtr reply(g_dbus_connection_call_sync(
        bus.get(), destination, path, interface, method, arguments, G_VARIANT_TYPE(replyType),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, 10000, nullptr, &error));
    if (!reply) {
        const std::string message = std::string(method) + " failed: " + error->message;
        g_error_free(error);
        throw std::runtime_error(message);
    }
    return reply;
}

std::string defaultCollectionPath() {
    const auto reply = call(kServicePath, "org.freedesktop.Secret.Service", "ReadAlias",
                            g_variant_new("(s)", "default"), "(o)");
    const gchar* path = nullptr;
    g_variant_get(reply.get(), "(&o)", &path);
    return path;
}

}  // namespace

bool runsWithPrivateKeyring() {
    return std::getenv("ZEVIRUDI_TEST_KEYRING_PASSWORD") != nullptr;
}

int keyringDaemonProcess() {
    const auto reply =
        call("/org/freedesktop/DBus", "org.freedesktop.DBus", "GetConnectionUnixProcessID",
             g_variant_new("(s)", kBusName), "(u)", "org.freedesktop.DBus");
    guint32 pid = 0;
    g_variant_get(reply.get(), "(u)", &pid);
    return static_cast<int>(pid);
}

bool defaultCollectionIsLocked() {
    const auto path = defaultCollectionPath();
    const auto reply =
        call(path.c_str(), "org.freedesktop.DBus.Properties", "Get",
             g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), "(v)");
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    const VariantPtr locked(inner);
    return g_variant_get_boolean(locked.get()) != FALSE;
}

void lockDefaultCollection() {
    const auto path = defaultCollectionPath();
    const char* paths[] = {path.c_str()};
    call(kServicePath, "org.freedesktop.Secret.Service", "Lock",
         g_variant_new("(@ao)", g_variant_new_objv(paths, 1)), "(aoo)");
}

void unlockDefaultCollection() {
    const char* password = std::getenv("ZEVIRUDI_TEST_KEYRING_PASSWORD");
    if (password == nullptr) {
        throw std::runtime_error("ZEVIRUDI_TEST_KEYRING_PASSWORD is not set");
    }
    // GNOME Keyring's own unlock call for its login tools; it takes the password through a
    // transfer session and never prompts.
    const auto session = call(kServicePath, "org.freedesktop.Secret.Service", "OpenSession",
                              g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
    const gchar* sessionPath = nullptr;
    GVariant* output = nullptr;
    g_variant_get(session.get(), "(v&o)", &output, &sessionPath);
    g_variant_unref(output);

    const auto collection = defaultCollectionPath();
    GVariant* secret = g_variant_new(
        "(o@ay@ays)", sessionPath, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
        g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password, std::strlen(password), 1),
        "text/plain");
    call(kServicePath, "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
         "UnlockWithMasterPassword", g_variant_new("(o@(oayays))", collection.c_str(), secret),
         "()");
    call(sessionPath, "org.freedesktop.Secret.Session", "Close", nullptr, "()");
}

}  // namespace loftwing::test
