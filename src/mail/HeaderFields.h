#pragma once

#include "app/NewMailItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Picks sender, date and subject out of a complete header block as the server
// sent it (lines ended by CR LF, already dot-unstuffed), joining folded lines
// first. Each field's bytes become text only when it is decoded, and control
// characters other than tab never reach the shown text. A field the message
// lacks stays empty; the account is the check's to fill in.
NewMailItem ExtractHeaderFields(QByteArrayView headerBlock);

// A Date header value as "YY/MM/DD HH:NN:SS" in the sender's own time (the
// zone is dropped, not applied); empty when it is not a readable date.
QString FormatHeaderDate(const QString& value);

// One field of a header block, unfolded, its bytes not yet decoded.
struct HeaderField {
    QByteArray name; // as written, without the colon
    QByteArray value; // without the blanks around it
};

// Every field of a header block, in block order. A line that is neither a
// field nor a continuation of one is left out.
QList<HeaderField> HeaderFieldList(QByteArrayView headerBlock);
