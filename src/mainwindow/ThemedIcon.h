#pragma once

#include <QByteArray>
#include <QIcon>
#include <QString>

// Icons of the application's set drawn for the theme in force. The set is
// drawn in dark slate with blue, red and green accents for light panels; in
// the dark theme the same pictures come out in light slate with brighter
// accents, so that they stand out on dark panels. An icon made once follows
// every later switch of the theme.
QIcon themedIcon(const QString& iconName);

// Whether the dark theme is in force: themed icons, and the few colours code
// picks itself (tinted badges), follow it. Set by the theme switch.
void setDarkThemeShown(bool dark);
bool darkThemeShown();

// The picture's SVG text with the light set's colours replaced by their
// dark-theme counterparts; colours of neither set are kept.
QByteArray darkIconSvg(const QByteArray& svg);
