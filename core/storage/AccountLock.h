#pragma once

#include <string>
#include <string_view>

namespace loftwing {

// Orders the changes of one account's tokens across every process of the user: a refresh with
// its save, and the account's removal. Chrome starts one host per message, so two tabs polling at
// once are two processes refreshing the same account; a provider that rotates refresh tokens
// accepts only the first. The lock is an flock on a file per account in $XDG_RUNTIME_DIR/zevirudi
// (/tmp/zevirudi-<uid> without one), so the kernel releases it when its holder dies. When the
// folder cannot be used safely the lock holds nothing and says so in the log: a poll still runs.
class AccountLock {
  public:
    // Blocks until the lock is held. The holder's work is bounded by the transport's and the
    // keyring's time-outs.
    explicit AccountLock(std::string_view accountID);
    ~AccountLock();
    AccountLock(const AccountLock&) = delete;
    AccountLock& operator=(const AccountLock&) = delete;

    // The folder of the lock files: $XDG_RUNTIME_DIR/zevirudi when XDG_RUNTIME_DIR is an absolute
    // path, else /tmp/zevirudi-<uid>.
    static std::string directory();

  private:
    int descriptor_ = -1;
};

}  // namespace loftwing
