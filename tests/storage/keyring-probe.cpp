// Runs one keyring operation in a process of its own, so that tests can give it an environment
// of its own (no session bus, a bus without a Secret Service) or kill it half-way. Prints one
// line per result: "absent", "bytes", "ok", "saved <id>", "sockets <count>" or
// "error <case> <code>". "frozen-read" stops the keyring daemon of the session (SIGSTOP) and
// reads with it frozen; it adds "ms <elapsed>" and the log lines ("log <category>: <message>").

#include "records/Errors.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"
#include "support/LogSink.h"

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
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

// The process that owns org.freedesktop.secrets on the session bus.
pid_t keyringDaemon() {
    std::unique_ptr<FILE, decltype(&pclose)> gdbus(
        popen(
            "gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus "
            "--method org.freedesktop.DBus.GetConnectionUnixProcessID org.freedesktop.secrets",
            "r"),
        &pclose);
    unsigned pid = 0;
    if (!gdbus || std::fscanf(gdbus.get(), "(uint32 %u,)", &pid) != 1 || pid == 0) {
        throw std::runtime_error("no keyring daemon on the session bus");
    }
    return static_cast<pid_t>(pid);
}

class PrintingLogSink final : public loftwing::LogSink {
  public:
    void write(loftwing::LogLevel, std::string_view category,
               std::string_view message) noexcept override {
        const std::lock_guard lock(mutex_);
        lines_ += "log " + std::string(category) + ": " + std::string(message) + "\n";
    }
    std::string lines() {
        const std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    std::mutex mutex_;
    std::string lines_;
};

// Reads with the daemon stopped.
void readFromFrozenDaemon(loftwing::SecretServiceKeychainStore& keychain, const std::string& key) {
    auto log = std::make_shared<PrintingLogSink>();
    loftwing::setLogSink(log);
    const pid_t daemon = keyringDaemon();
    ::kill(daemon, SIGSTOP);
    const auto started = std::chrono::steady_clock::now();
    std::string outcome;
    try {
        outcome = keychain.read(key) ? "bytes" : "absent";
    } catch (const LoftwingMultiError& error) {
        outcome = "error " + std::to_string(static_cast<int>(error.errorCase())) + " " +
                  std::to_string(error.keychainStatusCode());
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    ::kill(daemon, SIGCONT);
    std::cout << outcome << "\nms " << elapsed.count() << "\n" << log->lines() << std::flush;
    loftwing::setLogSink(nullptr);
}

int run(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: keyring-probe read|save|remove|remove-account|keep-saving|construct|"
                     "frozen-read|"
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
    } else if (command == "frozen-read") {
        readFromFrozenDaemon(*keychain, argv[3]);
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
