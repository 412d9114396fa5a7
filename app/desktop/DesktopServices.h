#pragma once

#include "ui/AccountManagerServices.h"

namespace zevirudi {

// The desktop role's services: the bundled configuration, the keyring account store under
// "com.loftwing.multi.accounts", the libcurl transport, the Chrome integration for this
// executable. Throws what loading the configuration throws.
AccountManagerServices makeDesktopServices();

// The libcurl transport, started on its first request: the window's first frame does not wait
// for the HTTP stack.
std::shared_ptr<loftwing::HTTPTransport> deferredCurlTransport();

// Opens Chrome (else Chromium) on the configuration's install page, after showing the unpacked
// extension folder when the build does not use the Chrome Web Store; without a browser, the
// desktop's default handler. Throws LoftwingMultiError::itemNotFound when nothing opened.
void openChromeSetupPage(const loftwing::LoftwingAppConfiguration& configuration,
                         const std::optional<std::filesystem::path>& extensionFolder);

}  // namespace zevirudi
