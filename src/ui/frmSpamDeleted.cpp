#include "ui/frmSpamDeleted.h"

#include "app/AppIdentity.h"
#include "mail/SpamMaildir.h"
#include "platform/gui/FlatListView.h"
#include "platform/gui/ShellOpenService.h"
#include "ui/FaceFonts.h"
#include "ui/helpers/Fun_ListViewOperate.h"

#include <QFileInfo>
#include <QPushButton>

frmSpamDeleted::frmSpamDeleted(QString folder, QWidget* parent)
    // A fixed size: no maximise button to offer what cannot be done.
    : QDialog(parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_folder(std::move(folder))
{
    setObjectName(QStringLiteral("frmSpamDeleted"));
    setWindowTitle(AppIdentity::AppTitle() + QStringLiteral(" - 保存したスパム"));
    setFont(FaceFonts::Gothic(9));
    setFixedSize(660, 300);

    lvSpamList = new FlatListView(this);
    lvSpamList->setObjectName(QStringLiteral("lvSpamList"));
    lvSpamList->setGeometry(8, 8, 644, 250);
    // When the copy was kept, the order of the list; a mail's own Date is
    // whatever its sender wrote, and would make the list look unsorted.
    lvSpamList->AddColumn(QStringLiteral("保存日時"), 130);
    lvSpamList->AddColumn(QStringLiteral("差出人"), 170);
    lvSpamList->AddColumn(QStringLiteral("件名"), 190);
    lvSpamList->AddColumn(QStringLiteral("状態"), 100);

    const std::array<const char16_t*, 2> captions { u"フォルダを開く(&F)", u"閉じる(&C)" };
    const std::array<QRect, 2> places { QRect(8, 266, 120, 24), QRect(570, 266, 82, 24) };
    for (int i = 0; i < 2; ++i) {
        btnAction[size_t(i)] = new QPushButton(QString::fromUtf16(captions[size_t(i)]), this);
        btnAction[size_t(i)]->setObjectName(QStringLiteral("btnAction%1").arg(i));
        btnAction[size_t(i)]->setGeometry(places[size_t(i)]);
        btnAction[size_t(i)]->setAutoDefault(false);
        connect(btnAction[size_t(i)], &QPushButton::clicked, this, [this, i] { btnAction_Click(i); });
    }
}

void frmSpamDeleted::ShowList()
{
    SetSpamList();
    show();
    Fun_ListViewOperate::FitLastColumn(*lvSpamList);
    raise();
    activateWindow();
}

void frmSpamDeleted::SetSpamList()
{
    // Every row carries the tag 0: this empties the list in one pass.
    lvSpamList->RemoveRowsWithTag(0);
    for (const SpamMaildir::Copy& copy : SpamMaildir(m_folder).Copies()) {
        FlatListView::Row row;
        // The blank after the header's colon is dropped, so the texts start under their headings.
        row.cells = { copy.kept.toLocalTime().toString(QStringLiteral("yy/MM/dd HH:mm:ss")),
            copy.fields.strFrom.trimmed(), copy.fields.strSubject.trimmed(),
            copy.deletedOnServer ? QStringLiteral("削除済み") : QStringLiteral("サーバーに残っています") };
        lvSpamList->AddRow(std::move(row));
    }
    // Nothing has been kept yet: there is no folder to open.
    btnAction[0]->setEnabled(QFileInfo(m_folder).isDir());
}

void frmSpamDeleted::btnAction_Click(int Index)
{
    if (Index == 0)
        ShellOpenService::Current().OpenFolder(QFileInfo(m_folder).absoluteFilePath());
    else
        close();
}
