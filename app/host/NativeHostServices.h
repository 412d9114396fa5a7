#pragma once

#include "oauth/AppConfiguration.h"

#include <memory>

namespace loftwing {
class AccountStore;
class MailboxMonitor;
}  // namespace loftwing

namespace zevirudi {

// What "status", "health" and "poll" work with. Owns everything they use, so the request's
// keyring and network work ends when it is destroyed.
struct NativeHostServices {
    std::shared_ptr<loftwing::AccountStore> accountStore;
    std::shared_ptr<loftwing::MailboxMonitor> monitor;
};

// The keyring store and account store, the token manager, the Gmail and Graph clients on one
// HTTP transport, and the mailbox monitor, for the configuration. Building them loads neither the
// keyring nor the HTTP library: each is loaded on its first use, except that a request about to
// use the network ("poll", "health") starts loading the HTTP library at once, on a thread of its
// own, so that it overlaps the keyring reads.
NativeHostServices makeNativeHostServices(const loftwing::LoftwingAppConfiguration& configuration,
                                          bool warmUpNetwork);

}  // namespace zevirudi
