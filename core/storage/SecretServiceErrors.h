#pragma once

#include "records/Errors.h"

#include <glib.h>

namespace loftwing {

// The error of a failed libsecret or GDBus call: no bus, no Secret Service, or one that died or
// stopped answering (no reply, time-out) is keychainNotAvailable, a locked collection
// interactionNotAllowed, a dismissed prompt (reported by libsecret as a failure without an error,
// or as a cancellation) authenticationFailed, anything else keychainStatus with the error's code.
// The keyring's own message is dropped, never shown. Internal to the keyring store; public headers
// do not include it.
LoftwingMultiError keychainError(const GError* error);

}  // namespace loftwing
