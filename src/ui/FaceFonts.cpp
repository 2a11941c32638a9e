#include "ui/FaceFonts.h"

#include <QStringList>

namespace {

QFont Font(const QStringList& families, double points, bool bold)
{
    QFont font;
    font.setFamilies(families);
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

} // namespace

namespace FaceFonts {

QFont Gothic(double points, bool bold)
{
    // Both spellings of the Windows face, then the proportional IPA face with
    // the same metrics, then its fixed-width sibling.
    return Font({ QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic") },
        points, bold);
}

QFont WithMinchoFallback(const QString& family, double points, bool bold)
{
    return Font({ family, QStringLiteral("IPAMincho") }, points, bold);
}

} // namespace FaceFonts
