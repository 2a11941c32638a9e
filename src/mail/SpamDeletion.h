#pragma once

#include "mail/clsWinSockOperate.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class ISpamFolder;

// The step after the POP3 listing that deletes the spam it found: each
// message is fetched whole (RETR) and kept in the spam folder, and only once
// its own bytes are on the disk is it deleted (DELE), with a STAT after each
// DELE that must count one message less, to prove that the replies still
// answer their commands. QUIT, which makes the deletions real, is sent only
// when all of that went as it should.
class SpamDeletion {
public:
    // A message judged spam in this session.
    struct Message {
        qsizetype number;
        QString identifier;
        QByteArray headers; // the header block TOP gave for this number
    };

    SpamDeletion(clsWinSockOperate& session, ISpamFolder& folder);

    // True when the server took QUIT, and with it every deletion.
    bool Run(const QList<Message>& spam, qint32 messageCount, bool pipelined);
    // The copies written, whether or not their messages were deleted.
    const QStringList& Kept() const { return m_kept; }

private:
    bool deleteEach(const QList<Message>& spam, qint32 messageCount, bool pipelined);
    // Keeps the message of the RETR reply just read.
    bool keep(const Message& message);
    // Sends one command; nothing received is dropped, so a line nobody asked
    // for shifts the replies behind it into view. True when answered "+OK".
    bool answered(const QString& command, clsWinSockOperate::ReplyShape shape);

    clsWinSockOperate& m_session;
    ISpamFolder& m_folder;
    QStringList m_kept;
};
