#pragma once

// Fakes at the seams the OAuth parts, the mail clients and the monitor use: the account store and a
// mailbox client that answers from a script.

#include "mail/MailboxClient.h"
#include "records/Errors.h"
#include "storage/AccountStore.h"

#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace loftwing::test {

// An AccountStore in memory. `failWith` makes every read fail, `saveFailure` every save.
// Thread-safe.
class FakeAccountStore : public AccountStore {
  public:
    explicit FakeAccountStore(std::vector<StoredAccount> accounts = {})
        : accounts_(std::move(accounts)) {}

    std::vector<StoredAccount> allAccounts() override {
        const std::lock_guard lock(mutex_);
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        return accounts_;
    }
    void save(const StoredAccount& account) override {
        const std::lock_guard lock(mutex_);
        if (saveFailure) {
            std::rethrow_exception(saveFailure);
        }
        saved_.push_back(account);
        for (auto& existing : accounts_) {
            if (existing.account.id == account.account.id) {
                existing = account;
                return;
            }
        }
        accounts_.push_back(account);
    }
    void remove(const std::string& accountID) override {
        const std::lock_guard lock(mutex_);
        std::erase_if(accounts_, [&](const StoredAccount& a) { return a.account.id == accountID; });
    }

    void failWith(std::exception_ptr failure) {
        const std::lock_guard lock(mutex_);
        failure_ = std::move(failure);
    }
    std::vector<StoredAccount> saved() const {
        const std::lock_guard lock(mutex_);
        return saved_;
    }

    std::exception_ptr saveFailure;

  private:
    mutable std::mutex mutex_;
    std::vector<StoredAccount> accounts_;
    std::vector<StoredAccount> saved_;
    std::exception_ptr failure_;
};

// Answers each account from a function of the account id.
class ScriptedMailboxClient : public MailboxClient {
  public:
    using Script = std::function<std::vector<MailMessage>(const StoredAccount&, Timestamp,
                                                          const std::unordered_set<std::string>&)>;

    ScriptedMailboxClient(MailProvider provider, Script script)
        : provider_(provider), script_(std::move(script)) {}

    MailProvider provider() const override { return provider_; }
    std::vector<MailMessage> recentMessages(const StoredAccount& account, Timestamp since,
                                            const std::unordered_set<std::string>& excluding,
                                            std::stop_token) const override {
        return script_(account, since, excluding);
    }

  private:
    MailProvider provider_;
    Script script_;
};

inline StoredAccount storedAccount(std::string id, MailProvider provider, std::string email,
                                   Timestamp expiresAt = Timestamp{}) {
    OAuthTokenSet tokens{"access-" + email, "refresh-" + email, expiresAt, {}};
    return StoredAccount{ConnectedAccount{std::move(id), provider, std::move(email), {}},
                         std::move(tokens)};
}

}  // namespace loftwing::test
