#pragma once

#include "ui/AccountManagerServices.h"

namespace zevirudi {

// The desktop role's services: the bundled configuration, the keyring account store under
// "com.loftwing.multi.accounts", the libcurl transport, the account connector with the browser
// sign-in, the Chrome integration for this executable. Starts the redirect scheme's
// registration on a worker thread. Throws what loading the configuration throws.
AccountManagerServices makeDesktopServices();

// Makes this executable the user's handler of the configuration's custom redirect schemes
// (SchemeHandlerRegistration); a failure is logged, not thrown: the loopback redirect and a
// later start still work.
void registerRedirectSchemes(const loftwing::LoftwingAppConfiguration& configuration);

// The libcurl transport, started on its first request: the window's first frame does not wait
// for the HTTP stack.
std::shared_ptr<loftwing::HTTPTransport> deferredCurlTransport();

// Opens Chrome (else Chromium) on the configuration's install page, after showing the unpacked
// extension folder in the file manager when the build does not use the Chrome Web Store;
// without a browser, the desktop's default handler. Throws LoftwingMultiError::itemNotFound
// when nothing opened, std::system_error when the browser could not be started.
void openChromeSetupPage(const loftwing::LoftwingAppConfiguration& configuration,
                         const std::optional<std::filesystem::path>& extensionFolder);

}  // namespace zevirudi
