#pragma once

#include <QFont>
#include <QString>

// The faces the windows are laid out for. The program is drawn in pixels for
// Windows' Japanese faces; where those are missing, the IPA faces from the
// distribution stand in, so labels keep to the room they were given.
namespace FaceFonts {

// "ＭＳ Ｐゴシック", or the IPA P Gothic that stands in for it.
QFont Gothic(double points, bool bold = false);

// The named face, or IPA Mincho where it is missing.
QFont WithMinchoFallback(const QString& family, double points, bool bold);

} // namespace FaceFonts
