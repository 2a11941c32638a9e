#pragma once

#include "app/NewMailItem.h"

#include <QByteArrayList>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// Whether a new message is spam, judged from the header block a check has
// fetched anyway: a verdict of the server's filter, a tag its subject begins
// with, or a sender the user listed.
namespace SpamVerdict {

// What the user's lists say, with the program's own tags while the user has
// set none.
struct Lists {
    QStringList tags; // a subject that begins with one of these is spam
    QStringList senders; // an address, or a domain that covers its subdomains
};

// The subject tags that Japanese providers and common filters put in front
// of the subjects of the mail they judge to be spam.
QStringList DefaultTags();

// The names of the fields that carry a filter's verdict, for a protocol that
// fetches named fields only.
QByteArrayList VerdictFields();

// True when a field of the block carries a filter's spam verdict
// ("X-Spam-Flag: YES" and the like).
bool FilterSaysSpam(QByteArrayView headerBlock);

// The address of a From value: inside its last angle brackets, else the
// value itself; blanks around it removed, lower-cased.
QString SenderAddress(const QString& from);

// True when the address is listed, or its domain, or a domain above it
// ("example.jp" lists "a@example.jp" and "a@mail.example.jp").
bool SenderListed(const QString& address, const QStringList& senders);

// The three rules together; `fields` are the block's decoded fields.
bool IsSpam(QByteArrayView headerBlock, const NewMailItem& fields, const Lists& lists);

} // namespace SpamVerdict
