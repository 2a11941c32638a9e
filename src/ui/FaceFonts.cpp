#include "ui/FaceFonts.h"

#include <QStringList>

namespace FaceFonts {

QFont Gothic(double points, bool bold)
{
    QFont font;
    // Both spellings of the Windows face, then the proportional IPA face with
    // the same metrics, then its fixed-width sibling.
    font.setFamilies({ QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
        QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic") });
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QFont WithMinchoFallback(const QString& family, double points, bool bold)
{
    QFont font;
    font.setFamilies({ family, QStringLiteral("IPAMincho") });
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace FaceFonts
