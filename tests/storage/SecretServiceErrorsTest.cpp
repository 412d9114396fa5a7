#include "storage/SecretServiceErrors.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <functional>
#include <memory>
#include <string>

namespace loftwing {
namespace {

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

constexpr const char* detail = "keyring detail that must not reach a person";

// A remote D-Bus error as GDBus hands over one whose name it has no registration for.
GError* unregisteredRemoteError(const char* name) {
    return g_error_new(G_IO_ERROR, G_IO_ERROR_DBUS_ERROR, "GDBus.Error:%s: %s", name, detail);
}

TEST(SecretServiceErrorsTest, MapsEachKindOfFailureAndDropsTheKeyringsMessage) {
    struct Row {
        const char* name;
        std::function<GError*()> make;  // nullptr: no error at all
        LoftwingMultiError expected;
    };
    auto plain = [](GQuark domain, int code) {
        return [=] { return g_error_new_literal(domain, code, detail); };
    };
    const Row rows[] = {
        {"prompt dismissed without an error", nullptr, LoftwingMultiError::authenticationFailed()},
        {"prompt dismissed as a cancellation", plain(G_IO_ERROR, G_IO_ERROR_CANCELLED),
         LoftwingMultiError::authenticationFailed()},
        {"no session bus", plain(G_IO_ERROR, G_IO_ERROR_NOT_FOUND),
         LoftwingMultiError::keychainNotAvailable()},
        {"bus without a Secret Service", plain(G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN),
         LoftwingMultiError::keychainNotAvailable()},
        {"Secret Service left the bus", plain(G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER),
         LoftwingMultiError::keychainNotAvailable()},
        {"Secret Service killed mid-request", plain(G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY),
         LoftwingMultiError::keychainNotAvailable()},
        {"bus reports the time-out", plain(G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT),
         LoftwingMultiError::keychainNotAvailable()},
        {"locked collection", plain(SECRET_ERROR, SECRET_ERROR_IS_LOCKED),
         LoftwingMultiError::interactionNotAllowed()},
        {"locked collection as an unregistered remote error",
         [] { return unregisteredRemoteError("org.freedesktop.Secret.Error.IsLocked"); },
         LoftwingMultiError::interactionNotAllowed()},
        {"another unregistered remote error",
         [] { return unregisteredRemoteError("org.kde.KWallet.Error.Closed"); },
         LoftwingMultiError::keychainStatus(G_IO_ERROR_DBUS_ERROR)},
        {"no such collection", plain(SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT),
         LoftwingMultiError::keychainStatus(SECRET_ERROR_NO_SUCH_OBJECT)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const ErrorPtr error(row.make ? row.make() : nullptr);
        const auto mapped = keychainError(error.get());
        EXPECT_EQ(mapped, row.expected);
        EXPECT_EQ(std::string(mapped.what()).find("keyring detail"), std::string::npos);
    }
}

}  // namespace
}  // namespace loftwing
