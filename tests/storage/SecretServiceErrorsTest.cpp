#include "storage/SecretServiceErrors.h"

#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libsecret/secret.h>

#include <memory>
#include <string>
#include <vector>

namespace loftwing {
namespace {

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

TEST(SecretServiceErrorsTest, MapsEachKindOfFailureAndDropsTheKeyringsMessage) {
    struct Row {
        const char* name;
        ErrorPtr error;
        LoftwingMultiError expected;
    };
    const char* detail = "keyring detail that must not reach a person";
    std::vector<Row> rows;
    rows.push_back(
        {"prompt dismissed without an error", nullptr, LoftwingMultiError::authenticationFailed()});
    rows.push_back({"prompt dismissed as a cancellation",
                    ErrorPtr(g_error_new_literal(G_IO_ERROR, G_IO_ERROR_CANCELLED, detail)),
                    LoftwingMultiError::authenticationFailed()});
    rows.push_back({"no session bus",
                    ErrorPtr(g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, detail)),
                    LoftwingMultiError::keychainNotAvailable()});
    rows.push_back({"disabled: address",
                    ErrorPtr(g_error_new_literal(G_IO_ERROR, G_IO_ERROR_INVALID_ARGUMENT, detail)),
                    LoftwingMultiError::keychainNotAvailable()});
    rows.push_back(
        {"bus without a Secret Service",
         ErrorPtr(g_error_new_literal(G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN, detail)),
         LoftwingMultiError::keychainNotAvailable()});
    rows.push_back(
        {"Secret Service left the bus",
         ErrorPtr(g_error_new_literal(G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER, detail)),
         LoftwingMultiError::keychainNotAvailable()});
    rows.push_back({"locked collection",
                    ErrorPtr(g_error_new_literal(SECRET_ERROR, SECRET_ERROR_IS_LOCKED, detail)),
                    LoftwingMultiError::interactionNotAllowed()});
    rows.push_back(
        {"locked collection as the remote D-Bus error",
         ErrorPtr(g_dbus_error_new_for_dbus_error("org.freedesktop.Secret.Error.IsLocked", detail)),
         LoftwingMultiError::interactionNotAllowed()});
    rows.push_back(
        {"locked collection as an unregistered remote error",
         ErrorPtr(g_error_new(G_IO_ERROR, G_IO_ERROR_DBUS_ERROR,
                              "GDBus.Error:org.freedesktop.Secret.Error.IsLocked: %s", detail)),
         LoftwingMultiError::interactionNotAllowed()});
    rows.push_back({"another unregistered remote error",
                    ErrorPtr(g_error_new(G_IO_ERROR, G_IO_ERROR_DBUS_ERROR,
                                         "GDBus.Error:org.kde.KWallet.Error.Closed: %s", detail)),
                    LoftwingMultiError::keychainStatus(G_IO_ERROR_DBUS_ERROR)});
    rows.push_back(
        {"no such collection",
         ErrorPtr(g_error_new_literal(SECRET_ERROR, SECRET_ERROR_NO_SUCH_OBJECT, detail)),
         LoftwingMultiError::keychainStatus(SECRET_ERROR_NO_SUCH_OBJECT)});
    rows.push_back({"access denied by the bus",
                    ErrorPtr(g_error_new_literal(G_DBUS_ERROR, G_DBUS_ERROR_ACCESS_DENIED, detail)),
                    LoftwingMultiError::keychainStatus(G_DBUS_ERROR_ACCESS_DENIED)});

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto mapped = keychainError(row.error.get());
        EXPECT_EQ(mapped, row.expected);
        EXPECT_EQ(std::string(mapped.what()).find("keyring detail"), std::string::npos);
    }
}

}  // namespace
}  // namespace loftwing
