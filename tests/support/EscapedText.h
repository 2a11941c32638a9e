#pragma once

#include <QLatin1StringView>
#include <QString>

// Test text with "ESC" standing for the escape byte 0x1B, so that JIS
// sequences stay readable in tables: EscapedText("ESC$B$\"ESC(B").
inline QString EscapedText(const char* utf8)
{
    return QString::fromUtf8(utf8).replace(QLatin1StringView("ESC"), QString(QChar(0x1B)));
}
