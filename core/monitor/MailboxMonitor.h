#pragma once

#include "mail/MailboxClient.h"
#include "records/MailProvider.h"
#include "records/NativeMessages.h"
#include "storage/AccountStore.h"

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

namespace loftwing {

// One look at every connected inbox: reads all accounts at once, one thread each, and turns every
// failure into that account's check. Keeps no state that changes, so polls may overlap.
class MailboxMonitor {
  public:
    static constexpr std::size_t maximumMessages = 200;
    static constexpr std::size_t messageBudgetBytes = 900'000;
    static constexpr std::size_t unencodableMessageBytes = 1'048'576;
    static constexpr std::size_t errorCharacters = 240;

    // At most one client per provider; a second one for the same provider is ignored.
    MailboxMonitor(std::shared_ptr<AccountStore> accountStore,
                   std::vector<std::shared_ptr<MailboxClient>> clients);

    // Never throws: every failure ends up in the response.
    WatchResponse poll(const WatchRequest& request);

  private:
    std::shared_ptr<AccountStore> accountStore_;
    std::map<MailProvider, std::shared_ptr<MailboxClient>> clients_;
};

}  // namespace loftwing
