#include "ui/ReducedMotion.h"

// GIO before any Qt header: Qt's `signals` keyword would break its D-Bus declarations.
#include <gio/gio.h>

#include <QSettings>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace zevirudi {
namespace {

// A GNOME session always has a session bus. Without one, the settings backend would start a bus
// of its own through X11 autolaunch: a stray daemon, and a process killed with the display.
bool hasSessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && address[0] != '\0') {
        return std::string_view(address) != "disabled:";
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    return runtime != nullptr && runtime[0] != '\0' &&
           std::filesystem::exists(std::filesystem::path(runtime) / "bus", ignored);
}

// Read through the schema source so that a machine without GNOME's schemas (where
// g_settings_new would abort the process) simply has no opinion.
bool gnomeDisablesAnimations() {
    if (!hasSessionBus()) {
        return false;
    }
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return false;
    }
    GSettingsSchema* schema =
        g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (schema == nullptr) {
        return false;
    }
    bool disabled = false;
    if (g_settings_schema_has_key(schema, "enable-animations")) {
        GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
        disabled = g_settings_get_boolean(settings, "enable-animations") == FALSE;
        g_object_unref(settings);
    }
    g_settings_schema_unref(schema);
    return disabled;
}

bool kdeDisablesAnimations() {
    const QString file =
        QStandardPaths::locate(QStandardPaths::GenericConfigLocation, QStringLiteral("kdeglobals"));
    if (file.isEmpty()) {
        return false;
    }
    const QSettings kdeglobals(file, QSettings::IniFormat);
    bool isNumber = false;
    const double factor =
        kdeglobals.value(QStringLiteral("KDE/AnimationDurationFactor")).toDouble(&isNumber);
    return isNumber && factor <= 0.0;
}

}  // namespace

bool desktopPrefersReducedMotion() {
    return gnomeDisablesAnimations() || kdeDisablesAnimations();
}

}  // namespace zevirudi
