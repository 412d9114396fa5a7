#pragma once

#include <QObject>
#include <QPalette>

class QDBusMessage;

namespace zevirudi {

// Follows the desktop's light or dark preference where Qt's own desktop integration does not. GNOME
// and other freedesktop desktops publish it as the "color-scheme" setting of the settings portal
// (0 no preference, 1 prefer dark, 2 prefer light); Qt 6.4 reads it nowhere, so a Fusion window
// stayed light on a dark desktop. Only the Fusion style is recoloured: a platform style (Breeze on
// KDE) gets its palette, dark included, from its own integration.
class DesktopColourScheme : public QObject {
    Q_OBJECT
  public:
    explicit DesktopColourScheme(QObject* parent = nullptr);

  public slots:
    // The portal announced a changed setting (called by QtDBus).
    void settingChanged(const QDBusMessage& message);

  private:
    void apply(uint scheme);

    bool appliedDark_ = false;
    QPalette lightPalette_;
};

// The application palette of a dark desktop, for the Fusion style.
QPalette darkDesktopPalette();

}  // namespace zevirudi
