#include "MailboxDirectory.h"

#include <algorithm>
#include <cctype>

namespace zevirudi::sandbox {

namespace {

bool equalIgnoringASCIICase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

bool newerFirst(const StoredMessage& a, const StoredMessage& b) {
    if (a.receivedAtMilliseconds != b.receivedAtMilliseconds) {
        return a.receivedAtMilliseconds > b.receivedAtMilliseconds;
    }
    return a.sequence > b.sequence;
}

}  // namespace

bool MailboxDirectory::create(Mailbox mailbox) {
    std::lock_guard lock(mutex_);
    if (findLocked(mailbox.accountID()) != nullptr) {
        return false;
    }
    mailbox.messages.clear();
    mailboxes_.push_back(std::move(mailbox));
    return true;
}

std::optional<Mailbox> MailboxDirectory::profile(const std::string& accountID) const {
    std::lock_guard lock(mutex_);
    const Mailbox* mailbox = findLocked(accountID);
    if (mailbox == nullptr) {
        return std::nullopt;
    }
    Mailbox copy = *mailbox;
    copy.messages.clear();
    return copy;
}

std::vector<Mailbox> MailboxDirectory::profiles() const {
    std::lock_guard lock(mutex_);
    std::vector<Mailbox> result;
    for (const Mailbox& mailbox : mailboxes_) {
        Mailbox copy = mailbox;
        copy.messages.clear();
        result.push_back(std::move(copy));
    }
    return result;
}

std::optional<std::string> MailboxDirectory::consentingAccount(Provider provider,
                                                               const std::string& loginHint) const {
    std::lock_guard lock(mutex_);
    const Mailbox* first = nullptr;
    for (const Mailbox& mailbox : mailboxes_) {
        if (mailbox.provider != provider) {
            continue;
        }
        if (!loginHint.empty() && equalIgnoringASCIICase(mailbox.address, loginHint)) {
            return mailbox.accountID();
        }
        if (first == nullptr) {
            first = &mailbox;
        }
    }
    if (first == nullptr) {
        return std::nullopt;
    }
    return first->accountID();
}

bool MailboxDirectory::addMessage(const std::string& accountID, StoredMessage message) {
    std::lock_guard lock(mutex_);
    Mailbox* mailbox = findLocked(accountID);
    if (mailbox == nullptr) {
        return false;
    }
    auto& messages = mailbox->messages;
    if (std::any_of(messages.begin(), messages.end(),
                    [&](const StoredMessage& m) { return m.id == message.id; })) {
        return false;
    }
    auto position = std::upper_bound(messages.begin(), messages.end(), message, newerFirst);
    messages.insert(position, std::move(message));
    return true;
}

bool MailboxDirectory::removeMessage(const std::string& accountID, const std::string& messageID) {
    std::lock_guard lock(mutex_);
    Mailbox* mailbox = findLocked(accountID);
    if (mailbox == nullptr) {
        return false;
    }
    return std::erase_if(mailbox->messages,
                         [&](const StoredMessage& m) { return m.id == messageID; }) > 0;
}

std::uint64_t MailboxDirectory::nextSequence() {
    std::lock_guard lock(mutex_);
    return ++sequence_;
}

std::optional<MailboxDirectory::Listing> MailboxDirectory::list(
    const std::string& accountID, std::optional<std::int64_t> afterMilliseconds, std::size_t offset,
    std::size_t limit) const {
    std::lock_guard lock(mutex_);
    const Mailbox* mailbox = findLocked(accountID);
    if (mailbox == nullptr) {
        return std::nullopt;
    }
    Listing listing;
    for (const StoredMessage& message : mailbox->messages) {
        if (afterMilliseconds && message.receivedAtMilliseconds <= *afterMilliseconds) {
            continue;
        }
        if (listing.total >= offset && listing.page.size() < limit) {
            listing.page.push_back(message);
        }
        ++listing.total;
    }
    return listing;
}

std::optional<StoredMessage> MailboxDirectory::message(const std::string& accountID,
                                                       const std::string& messageID) const {
    std::lock_guard lock(mutex_);
    const Mailbox* mailbox = findLocked(accountID);
    if (mailbox == nullptr) {
        return std::nullopt;
    }
    for (const StoredMessage& message : mailbox->messages) {
        if (message.id == messageID) {
            return message;
        }
    }
    return std::nullopt;
}

void MailboxDirectory::clear() {
    std::lock_guard lock(mutex_);
    mailboxes_.clear();
}

const Mailbox* MailboxDirectory::findLocked(const std::string& accountID) const {
    for (const Mailbox& mailbox : mailboxes_) {
        if (mailbox.accountID() == accountID) {
            return &mailbox;
        }
    }
    return nullptr;
}

Mailbox* MailboxDirectory::findLocked(const std::string& accountID) {
    return const_cast<Mailbox*>(std::as_const(*this).findLocked(accountID));
}

}  // namespace zevirudi::sandbox
