#pragma once

class QLabel;
class QRect;
class QString;
class QWidget;

namespace Fun_PlainLabel {

// A label placed on its parent that shows its caption as plain text: a
// caption that holds a server's or the settings file's text must never be
// read as markup.
QLabel* MakePlainLabel(QWidget* parent, const QString& caption, const QRect& place);

} // namespace Fun_PlainLabel
