#include "ui/helpers/Fun_PlainLabel.h"

#include <QLabel>

namespace Fun_PlainLabel {

QLabel* MakePlainLabel(QWidget* parent, const QString& caption, const QRect& place)
{
    auto* label = new QLabel(caption, parent);
    label->setTextFormat(Qt::PlainText);
    label->setGeometry(place);
    return label;
}

} // namespace Fun_PlainLabel
