#pragma once

#include "VirtualDisplay.h"

#include <QApplication>
#include <QTest>

// The main of a test that runs on a private X server: the display must exist
// before the application connects to it.
#define TANDREL_TEST_MAIN_ON_X11(TestObject)                                                                 \
    int main(int argc, char* argv[])                                                                         \
    {                                                                                                        \
        const VirtualDisplay display;                                                                        \
        if (!display.IsReady()) {                                                                            \
            qCritical("%s", qPrintable(display.Error()));                                                    \
            return 1;                                                                                        \
        }                                                                                                    \
        qputenv("QT_QPA_PLATFORM", "xcb");                                                                   \
        QApplication app(argc, argv);                                                                        \
        TestObject test;                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
