#include "desktop/DesktopWorkspace.h"

#include "support/LogSink.h"

#include <gio/gio.h>

#include <memory>
#include <system_error>

namespace zevirudi {
namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFree {
    void operator()(gchar* text) const { g_free(text); }
};

// The file manager's own call: it opens the parent folder with this one selected.
bool showItemOverDBus(const std::filesystem::path& folder) {
    GError* rawError = nullptr;
    const std::unique_ptr<gchar, GFree> uri(g_filename_to_uri(folder.c_str(), nullptr, &rawError));
    std::unique_ptr<GError, GErrorFree> error(rawError);
    if (!uri) {
        return false;
    }
    const std::unique_ptr<GDBusConnection, GObjectUnref> bus(
        g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &rawError));
    error.reset(rawError);
    if (!bus) {
        return false;
    }
    const gchar* items[] = {uri.get(), nullptr};
    GVariant* reply = g_dbus_connection_call_sync(
        bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", items, ""), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &rawError);
    error.reset(rawError);
    if (reply == nullptr) {
        loftwing::logMessage(loftwing::LogLevel::info, "desktop",
                             std::string("No file manager answered ShowItems: ") +
                                 g_quark_to_string(error->domain) + " " +
                                 std::to_string(error->code));
        return false;
    }
    g_variant_unref(reply);
    return true;
}

}  // namespace

FreedesktopWorkspace::FreedesktopWorkspace(BrowserLocator locator) : locator_(std::move(locator)) {}

std::optional<BrowserCommand> FreedesktopWorkspace::findBrowser() const {
    return locator_.findBrowser();
}

void FreedesktopWorkspace::openInBrowser(const BrowserCommand& browser,
                                         const std::optional<std::string>& url) {
    BrowserLocator::launch(browser.commandLine(url), browser.program);
}

bool FreedesktopWorkspace::openWithDefaultHandler(const std::string& url) {
    const auto opener = locator_.findProgram("xdg-open");
    if (!opener) {
        return false;
    }
    try {
        BrowserLocator::launch({"xdg-open", url}, *opener);
        return true;
    } catch (const std::system_error& error) {
        loftwing::logMessage(loftwing::LogLevel::error, "desktop",
                             std::string("xdg-open could not be started: ") + error.what());
        return false;
    }
}

bool FreedesktopWorkspace::revealFolder(const std::filesystem::path& folder) {
    return showItemOverDBus(folder) || openWithDefaultHandler(folder.string());
}

}  // namespace zevirudi
