#pragma once

#include <string>

namespace loftwing::test {

// Control of the throw-away keyring that tests/helpers/run-with-private-keyring starts. Each call
// talks to org.freedesktop.secrets on the session bus directly and throws std::runtime_error when
// that fails.
bool runsWithPrivateKeyring();
// The process that owns org.freedesktop.secrets.
int keyringDaemonProcess();
bool defaultCollectionIsLocked();
void lockDefaultCollection();
// Unlocks with the keyring's password, without a prompt.
void unlockDefaultCollection();

}  // namespace loftwing::test
