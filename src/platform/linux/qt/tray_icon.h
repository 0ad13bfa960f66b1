// The pictures the tray and the windows show. Panels get the icon by its
// theme name, so that each draws it at its own size and a panel that wants
// symbolic icons finds the installed light "-symbolic" variant; the
// picture given with it, and the one used where the theme lacks the icon
// (a build that is not installed), keeps an outline that holds on a dark, a
// light or a coloured panel.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

namespace linux_platform {

// `picture` drawn with a two-tone outline (a dark ring outside a light
// one), square, at the sizes a tray asks for.
QIcon OutlinedIcon(const QPixmap& picture);
// A short title drawn into a square plate with a light rim, for when there
// is no picture.
QIcon TitleIcon(const QString& title);
// The installed theme icon named by the desktop ID, with `fallback` where
// the theme has none.
QIcon ThemedIcon(const QIcon& fallback);

}  // namespace linux_platform
