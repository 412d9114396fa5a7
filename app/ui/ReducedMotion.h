#pragma once

namespace zevirudi {

// Whether the desktop asks applications to keep still: GNOME's
// org.gnome.desktop.interface enable-animations set to false, or KDE's animation speed set to
// instant (AnimationDurationFactor 0 in kdeglobals). False when neither desktop says so.
bool desktopPrefersReducedMotion();

}  // namespace zevirudi
