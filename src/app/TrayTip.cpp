#include "app/TrayTip.h"

namespace TrayTip {

QStringList AccountLines(const QList<Mention>& mentions)
{
    QStringList general;
    QList<qint32> tags;
    QStringList lines;
    for (const Mention& mention : mentions) {
        if (mention.tag < 0) {
            general.append(mention.state);
            continue;
        }
        const qsizetype at = tags.indexOf(mention.tag);
        if (at < 0) {
            tags.append(mention.tag);
            lines.append(mention.title + QStringLiteral(": ") + mention.state);
        } else {
            lines[at] += QStringLiteral("、") + mention.state;
        }
    }
    return general + lines;
}

QString Compose(const QString& title, const QStringList& lines, qsizetype limit)
{
    const auto leftOut = [](qsizetype count) { return QStringLiteral("\n他%1件").arg(count); };
    qsizetype whole = title.size();
    for (const QString& line : lines)
        whole += 1 + line.size();
    QString tip = title;
    if (whole <= limit) {
        for (const QString& line : lines)
            tip += u'\n' + line;
        return tip;
    }
    // Room is kept for the count at its longest; a long line gives way to
    // the shorter ones after it rather than hiding them all.
    const qsizetype room = limit - leftOut(lines.size()).size();
    qsizetype omitted = 0;
    for (const QString& line : lines) {
        if (tip.size() + 1 + line.size() <= room)
            tip += u'\n' + line;
        else
            ++omitted;
    }
    tip += leftOut(omitted);
    return tip.size() <= limit ? tip : title.left(limit);
}

} // namespace TrayTip
