#pragma once

#include "records/AccountRecords.h"
#include "records/MailProvider.h"
#include "records/MailRecords.h"
#include "support/Time.h"

#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

namespace loftwing {

// Reads the newest messages of one provider's inboxes. Implementations hold no mutable state and
// are safe to call from several threads at once.
class MailboxClient {
  public:
    virtual ~MailboxClient() = default;

    virtual MailProvider provider() const = 0;

    // The account's messages that arrived after `since` and whose MailMessage id is not in
    // `excluding`. Throws the token manager's, the transport's and the JSON decoder's errors and
    // LoftwingMultiError for refused requests; a stop request ends it with OperationCancelled.
    virtual std::vector<MailMessage> recentMessages(
        const StoredAccount& account, Timestamp since,
        const std::unordered_set<std::string>& excluding, std::stop_token stop = {}) const = 0;
};

}  // namespace loftwing
