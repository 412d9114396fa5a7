#pragma once

#include <QStringList>

#include <functional>

namespace zevirudi {

// The desktop application: one main window whose content is AppRootView, its menus, the update
// checker, and the single-instance hand-over of the browser's sign-in redirect.
class LoftwingDesktopApp {
  public:
    using URLHandler = std::function<void(const QStringList& urls)>;

    // Runs until the user closes the window; returns the exit status. A second start hands its
    // URL arguments to the running instance and returns 0 at once.
    static int run(int argc, char** argv);

    // Where URLs that reach the application go (the browser's sign-in redirect, from this
    // process's arguments or from a later start): the sign-in callback router's handle(urls)
    // fills it. Empty until then; the window is raised either way. Main thread only.
    static URLHandler& openURLsHandler();
};

}  // namespace zevirudi
