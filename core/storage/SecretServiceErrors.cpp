#include "storage/SecretServiceErrors.h"

#include <gio/gio.h>
#include <libsecret/secret.h>

#include <memory>
#include <string_view>

namespace loftwing {

LoftwingMultiError keychainError(const GError* error) {
    if (error == nullptr) {
        // libsecret reports a dismissed prompt as a failure without an error.
        return LoftwingMultiError::authenticationFailed();
    }
    if (error->domain == G_IO_ERROR) {
        if (error->code == G_IO_ERROR_CANCELLED) {
            return LoftwingMultiError::authenticationFailed();
        }
        if (error->code == G_IO_ERROR_DBUS_ERROR) {
            // A remote error in no domain GLib knows: only its D-Bus name tells what it was.
            std::unique_ptr<gchar, decltype(&g_free)> name(g_dbus_error_get_remote_error(error),
                                                           &g_free);
            if (name && std::string_view(name.get()) == "org.freedesktop.Secret.Error.IsLocked") {
                return LoftwingMultiError::interactionNotAllowed();
            }
            return LoftwingMultiError::keychainStatus(error->code);
        }
        // No session bus, a "disabled:" address, a bus that went away, or a Secret Service that
        // did not answer within the store's time-out.
        return LoftwingMultiError::keychainNotAvailable();
    }
    if (error->domain == G_DBUS_ERROR) {
        switch (error->code) {
            case G_DBUS_ERROR_SERVICE_UNKNOWN:
            case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
            case G_DBUS_ERROR_NO_SERVER:
            case G_DBUS_ERROR_DISCONNECTED:
            // The service died with the request unanswered, or stopped answering.
            case G_DBUS_ERROR_NO_REPLY:
            case G_DBUS_ERROR_TIMEOUT:
            case G_DBUS_ERROR_TIMED_OUT:
            case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
            case G_DBUS_ERROR_SPAWN_FORK_FAILED:
            case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
            case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
            case G_DBUS_ERROR_SPAWN_FAILED:
            case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
            case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
            case G_DBUS_ERROR_SPAWN_FILE_INVALID:
                return LoftwingMultiError::keychainNotAvailable();
            default:
                break;
        }
    }
    if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_IS_LOCKED) {
        return LoftwingMultiError::interactionNotAllowed();
    }
    return LoftwingMultiError::keychainStatus(error->code);
}

}  // namespace loftwing
