#pragma once

#include "Mailbox.h"

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zevirudi::sandbox {

// Every sandbox mailbox and its messages. Thread-safe; answers are copies.
class MailboxDirectory {
  public:
    struct Listing {
        std::vector<StoredMessage> page;  // newest first
        std::size_t total = 0;            // matching messages over all pages
    };

    // False when a mailbox with the same account id exists already.
    bool create(Mailbox mailbox);
    // The mailbox's profile (without its messages).
    std::optional<Mailbox> profile(const std::string& accountID) const;
    std::vector<Mailbox> profiles() const;
    // The mailbox a sign-in lands on: the one whose address equals the hint (ignoring ASCII
    // case), else the provider's first mailbox.
    std::optional<std::string> consentingAccount(Provider provider,
                                                 const std::string& loginHint) const;

    // The message's id must be new in the mailbox; false otherwise or without the mailbox.
    bool addMessage(const std::string& accountID, StoredMessage message);
    bool removeMessage(const std::string& accountID, const std::string& messageID);
    std::uint64_t nextSequence();

    // Messages received strictly after `afterMilliseconds` (all when absent), newest first.
    std::optional<Listing> list(const std::string& accountID,
                                std::optional<std::int64_t> afterMilliseconds, std::size_t offset,
                                std::size_t limit) const;
    std::optional<StoredMessage> message(const std::string& accountID,
                                         const std::string& messageID) const;

    void clear();

  private:
    const Mailbox* findLocked(const std::string& accountID) const;
    Mailbox* findLocked(const std::string& accountID);

    mutable std::mutex mutex_;
    std::vector<Mailbox> mailboxes_;  // in creation order
    std::uint64_t sequence_ = 0;
};

}  // namespace zevirudi::sandbox
