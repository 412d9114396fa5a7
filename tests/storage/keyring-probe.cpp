// Runs one keyring operation in a process of its own, so that tests can give it an environment
// of its own (no session bus, a bus without a Secret Service) or kill it half-way. Prints one
// line per result: "absent", "bytes", "ok", "saved <id>", "sockets <count>" or
// "error <case> <code>".

#include "records/Errors.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"
#include "support/Time.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

namespace {

using loftwing::LoftwingMultiError;

// Open sockets of this process: a D-Bus connection is one.
int openSockets() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const auto target = std::filesystem::read_symlink(entry.path(), error);
        if (!error && target.string().rfind("socket:", 0) == 0) {
            ++count;
        }
    }
    return count;
}

loftwing::StoredAccount account(const std::string& id) {
    return loftwing::StoredAccount{
        loftwing::ConnectedAccount{id, loftwing::MailProvider::google, id + "@example.com", {}},
        loftwing::OAuthTokenSet{
            "access-" + id, "refresh-" + id, *loftwing::parseISO8601("2026-12-06T18:27:37Z"), {}},
    };
}

int run(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: keyring-probe read|save|remove|remove-account|keep-saving|construct|"
                     "construct-and-read SERVICE ARG [TEXT]\n";
        return 2;
    }
    const std::string command = argv[1];
    auto keychain = std::make_shared<loftwing::SecretServiceKeychainStore>(argv[2], std::nullopt);
    if (command == "read") {
        const auto bytes = keychain->read(argv[3]);
        std::cout << (bytes ? "bytes" : "absent") << std::endl;
    } else if (command == "save" && argc >= 5) {
        keychain->save(argv[4], argv[3]);
        std::cout << "ok" << std::endl;
    } else if (command == "remove") {
        keychain->remove(argv[3]);
        std::cout << "ok" << std::endl;
    } else if (command == "construct" || command == "construct-and-read") {
        loftwing::KeychainAccountStore store(keychain);
        if (command == "construct-and-read") {
            store.allAccounts();
        }
        std::cout << "sockets " << openSockets() << std::endl;
    } else if (command == "remove-account") {
        loftwing::KeychainAccountStore(keychain).remove(argv[3]);
        std::cout << "ok" << std::endl;
    } else if (command == "keep-saving") {
        loftwing::KeychainAccountStore store(keychain);
        for (int i = 0;; ++i) {
            const auto id = std::string(argv[3]) + "-" + std::to_string(i);
            store.save(account(id));
            std::cout << "saved " << id << std::endl;
        }
    } else {
        std::cerr << "keyring-probe: unknown command\n";
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const LoftwingMultiError& error) {
        std::cout << "error " << static_cast<int>(error.errorCase()) << " "
                  << error.keychainStatusCode() << std::endl;
    }
    return 0;
}
