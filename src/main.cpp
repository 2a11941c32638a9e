#include "app/AccountTable.h"
#include "app/AppIdentity.h"
#include "app/AppMain.h"
#include "platform/SingleInstance.h"
#include "platform/gui/QtMessageBoxService.h"

#include <QApplication>
#include <QListWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QtMessageBoxService messageBoxes;
    MessageBoxService::Install(&messageBoxes);

    const SingleInstance instance(QCoreApplication::applicationFilePath());
    if (!AppMain::StartUp(instance))
        return 0;

    // Stand-in for the main window: the loaded accounts, one per line.
    QListWidget accounts;
    accounts.setWindowTitle(AppIdentity::AppTitle());
    for (const AccountEntry& entry : Accounts)
        if (!entry.Deleted)
            accounts.addItem(entry.UserTitle);
    accounts.resize(532, 290);
    accounts.show();
    return app.exec();
}
