// Connects one inbox as the desktop app does, for the end-to-end sign-in test: the account
// connector with the Chrome authenticator, the process's callback router, the freedesktop
// workspace (so the browser comes from BrowserLocator), the curl transport and the keyring.
//
//   zevirudi-signin-driver OAuthConfig.json google|microsoft
//
// Prints the connected account's id; on failure the error's text on standard error, status 1.

#include "connection/ChromeOAuthWebAuthenticator.h"
#include "connection/OAuthAccountConnector.h"
#include "desktop/DesktopWorkspace.h"
#include "oauth/AppConfiguration.h"
#include "oauth/CurlTransport.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: zevirudi-signin-driver OAuthConfig.json google|microsoft\n";
        return 2;
    }
    try {
        std::ifstream file(argv[1]);
        std::stringstream text;
        text << file.rdbuf();
        const auto configuration = loftwing::decodeAppConfiguration(text.str());
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
