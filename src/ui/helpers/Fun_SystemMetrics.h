#pragma once

#include <QtGlobal>

// Screen figures in twips (1/1440 inch), the unit window positions are reckoned in.
namespace Fun_SystemMetrics {

// Twips per pixel: 1440 divided by the screen's logical DPI (15 at 96 DPI).
double TwipsPerPixelX();
double TwipsPerPixelY();

// The full screen size in twips.
double ScreenWidth();
double ScreenHeight();

// How far the work area stops short of the screen's bottom edge, in twips:
// the height of a bottom panel, 0 when the panels sit at other edges.
qint32 GetTaskbarHeight();

// Pixels to twips, with the horizontal factor for either direction.
float PixelToTwip(double n);

} // namespace Fun_SystemMetrics
