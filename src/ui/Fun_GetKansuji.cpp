#include "ui/Fun_GetKansuji.h"

namespace Fun_GetKansuji {

QString GetKansuji(const QString& strText)
{
    static const QString numerals = QStringLiteral("零壱弐参四伍六七八九");
    QString result = strText;
    for (QChar& c : result)
        if (c >= u'0' && c <= u'9')
            c = numerals.at(c.unicode() - u'0');
    return result;
}

} // namespace Fun_GetKansuji
