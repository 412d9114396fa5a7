#include "ui/ReducedMotion.h"

// GIO before any Qt header: Qt's `signals` keyword would break its D-Bus declarations.
#include <gio/gio.h>

#include <QSettings>
#include <QStandardPaths>

namespace zevirudi {
namespace {

// Read through the schema source so that a machine without GNOME's schemas (where
// g_settings_new would abort the process) simply has no opinion.
bool gnomeDisablesAnimations() {
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
