// zevirudi-demo-connect: connects one sandbox mailbox through the product's account connector, as
// the desktop app would after the user picked a provider, with the sandbox's auto-consent standing
// in for the browser. Writes to the keyring of the session bus it runs on.
//
//   zevirudi-demo-connect --resources DIR --provider google|microsoft [--login-hint ADDRESS]
//
// DIR holds the product's OAuthConfig.json (an install prefix's share/zevirudi). Prints the
// connected account (id, provider, address), never its tokens.

#include "SandboxWebAuthenticator.h"
#include "bundle/AppBundle.h"
#include "connection/OAuthAccountConnector.h"
#include "oauth/CurlTransport.h"
#include "records/Errors.h"
#include "records/MailProvider.h"
#include "storage/ConfiguredAccountStore.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

int usage() {
    std::fputs(
        "usage: zevirudi-demo-connect --resources DIR --provider google|microsoft "
        "[--login-hint ADDRESS]\n",
        stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<std::string> resources;
    std::optional<loftwing::MailProvider> provider;
    std::optional<std::string> loginHint;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        const std::string value = argv[i + 1];
        if (option == "--resources") {
            resources = value;
        } else if (option == "--provider") {
            provider = loftwing::mailProviderFromRawValue(value);
        } else if (option == "--login-hint") {
            loginHint = value;
        } else {
            return usage();
        }
    }
    if (argc % 2 == 0 || !resources || !provider) {
        return usage();
    }

    try {
        const auto configuration = zevirudi::loadConfiguration(*resources);
        auto transport = std::make_shared<loftwing::CurlTransport>();
        zevirudi::OAuthAccountConnector connector(
            configuration, loftwing::makeConfiguredAccountStore(configuration),
            std::make_shared<zevirudi::sandbox::SandboxWebAuthenticator>(transport), transport);
        const auto account = connector.connect(*provider, loginHint);
        std::printf("connected %s (%s) %s\n", account.id.c_str(),
                    std::string(loftwing::displayName(account.provider)).c_str(),
                    account.email.c_str());
        return 0;
    } catch (const std::exception& error) {
        const auto description = loftwing::userFacingDescription(error);
        std::fprintf(stderr, "zevirudi-demo-connect: %s\n",
                     description ? description->c_str() : error.what());
        return 1;
    }
}
