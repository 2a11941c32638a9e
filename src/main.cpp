#include "platform/DisplayPlatform.h"
#include "platform/QtTranslation.h"
#include "platform/SingleInstance.h"
#include "platform/TerminationSignal.h"
#include "platform/gui/DesktopBusyService.h"
#include "platform/gui/QtMessageBoxService.h"
#include "platform/keyring/QtKeychainService.h"
#include "platform/oauth/QtOAuthService.h"
#include "startup/AppMain.h"
#include "ui/frmTandrel.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

int main(int argc, char* argv[])
{
    DisplayPlatform::PreferX11();
    QApplication app(argc, argv);
    DisplayPlatform::ForgetPreference();
    // The program lives on in the tray while no window is open; only the main
    // window's orderly end quits it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Before the first message box: its buttons are Qt's texts.
    QtTranslation::LoadJapanese();
    QtMessageBoxService messageBoxes;
    MessageBoxService::Install(&messageBoxes);
    QtKeychainService keyring;
    KeyringService::Install(&keyring);
    QtOAuthService oauth;
    OAuthService::Install(&oauth);
    DesktopBusyService busy;
    BusyService::Install(&busy);

    const SingleInstance instance(QCoreApplication::applicationFilePath());
    if (!AppMain::StartUp(instance))
        return 0;

    frmTandrel window;
    QObject::connect(&window, &frmTandrel::programEnded, &app, [] { QCoreApplication::exit(0); });

    // SIGTERM and the end of the desktop session are closes other than the
    // close button: they always end the program, saving first.
    TerminationSignal termination;
    QObject::connect(&termination, &TerminationSignal::terminationRequested, &window,
        [&window] { window.EndProgram(frmTandrel::CloseReason::SessionEnd); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
        [&window](QSessionManager&) { window.EndProgram(frmTandrel::CloseReason::SessionEnd); });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
        [&window] { window.EndProgram(frmTandrel::CloseReason::SessionEnd); });

    // The load runs inside the event loop, so an end requested during the
    // start-up check reaches a running loop.
    QTimer::singleShot(0, &window, &frmTandrel::Form_Load);
    return app.exec();
}
