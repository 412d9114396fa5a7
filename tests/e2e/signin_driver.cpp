// Connects one inbox as the desktop app does, for the end-to-end sign-in test: the account
// connector with the Chrome authenticator, the process's callback router, the freedesktop
// workspace (so the browser comes from BrowserLocator), the curl transport and the keyring.
//
//   zevirudi-signin-driver OAuthConfig.json google|microsoft
//
// Prints the connected account's id; on failure the error's text on standard error, status 1.
// A custom redirect scheme is registered with the desktop first, with this program as its
// handler; started by the desktop with a redirect URL as its one argument, it hands the URL to
// the running driver through the FIFO $ZEVIRUDI_E2E_PIPES/urls, as the desktop app's second
// instance does through its single-instance socket.

#include "connection/ChromeOAuthWebAuthenticator.h"
#include "connection/OAuthAccountConnector.h"
#include "desktop/DesktopWorkspace.h"
#include "desktop/SchemeHandlerRegistration.h"
#include "oauth/AppConfiguration.h"
#include "oauth/CurlTransport.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

std::string forwardingFIFO() {
    const char* pipes = std::getenv("ZEVIRUDI_E2E_PIPES");
    return pipes ? std::string(pipes) + "/urls" : std::string();
}

// Every line written to the FIFO is a list of one URL opened with the application.
void forwardURLsToTheRouter() {
    const int fd = ::open(forwardingFIFO().c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    std::thread([fd] {
        FILE* lines = ::fdopen(fd, "r");
        char* line = nullptr;
        std::size_t capacity = 0;
        ssize_t length = 0;
        while ((length = ::getline(&line, &capacity, lines)) > 0) {
            zevirudi::OAuthCallbackRouter::shared()->handle(
                {std::string(line, static_cast<std::size_t>(length - 1))});
        }
        std::free(line);
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        const std::string url = std::string(argv[1]) + "\n";
        const int fd = ::open(forwardingFIFO().c_str(), O_WRONLY | O_CLOEXEC);
        return fd >= 0 && ::write(fd, url.data(), url.size()) == static_cast<ssize_t>(url.size())
                   ? 0
                   : 1;
    }
    if (argc != 3) {
        std::cerr << "usage: zevirudi-signin-driver OAuthConfig.json google|microsoft\n";
        return 2;
    }
    try {
        std::ifstream file(argv[1]);
        std::stringstream text;
        text << file.rdbuf();
        const auto configuration = loftwing::decodeAppConfiguration(text.str());
        const auto schemes = zevirudi::SchemeHandlerRegistration::customSchemes(configuration);
        if (!schemes.empty()) {
            zevirudi::SchemeHandlerRegistration(zevirudi::SchemeHandlerRegistration::userDataHome(),
                                                std::filesystem::read_symlink("/proc/self/exe"))
                .ensureRegistered(schemes);
            forwardURLsToTheRouter();
        }
        const auto store = std::make_shared<loftwing::KeychainAccountStore>(
            std::make_shared<loftwing::SecretServiceKeychainStore>(
                "com.loftwing.multi.accounts", configuration.keychainAccessGroup));
        const auto authenticator = std::make_shared<zevirudi::ChromeOAuthWebAuthenticator>(
            zevirudi::OAuthCallbackRouter::shared(),
            std::make_shared<zevirudi::FreedesktopWorkspace>());
        zevirudi::OAuthAccountConnector connector(configuration, store, authenticator,
                                                  std::make_shared<loftwing::CurlTransport>());
        const auto provider = std::string(argv[2]) == "google" ? loftwing::MailProvider::google
                                                               : loftwing::MailProvider::microsoft;
        std::cout << connector.connect(provider, std::nullopt).id << std::endl;
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "connect failed: " << error.what() << "\n";
        return 1;
    }
}
