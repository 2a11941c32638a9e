#pragma once

#include "app/NewMailItem.h"

#include <QString>
#include <QtGlobal>

// What the arrival window holds while a check runs, as the list itself
// counts it, so that no other floor's sizes are written here.
struct ArrivalListCost {
    qint64 ownBytes = 0; // the account's own rows: they go once its new rows come
    qint64 otherBytes = 0; // the other accounts' rows, which stay
    qint64 bytesPerRow = 0; // one more row, beyond the texts it shares with its item
};

// What one check may hold in memory of what a server answers (the seen
// test, identifiers, header texts, and the rows and saved seen list they
// become) before it takes the server as hostile. Counting the bytes received
// would let the program hold twice as much: a character takes two bytes in a
// text, every block has the allocator's and Qt's headers, a list that grows
// by doubling may have as many places free as filled, and each announced
// message becomes a row of the arrival window.
class CheckBudget {
public:
    // Room for a first check of 200,000 messages, which people who keep
    // years of mail on the server have and whose check succeeded before there
    // was a bound: that check counts some 136 MiB, and the bound leaves it a
    // tenth more. With the 40-odd MB the program holds anyway, no server gets
    // it much past 155 MB.
    static constexpr qint64 DefaultBound = 150LL * 1024 * 1024;

    CheckBudget(qint64 bound, const ArrivalListCost& shown);

    // A text's block: Qt's header, UTF-16 characters and a closing zero.
    static qint64 TextCost(qsizetype characters);
    // An identifier of the seen list, which stays until the check replaces
    // it, and its entry in the set the seen test looks identifiers up in.
    static qint64 SeenCost(const QString& identifier);
    // An identifier as held, and its line in the settings file, which a
    // successful check writes whole from memory.
    static qint64 IdentifierCost(qsizetype characters);
    // A new-mail item as held by the check, without the row it becomes.
    static qint64 NewMailCost(const NewMailItem& item);

    // Holds `bytes` more, and `newRows` more rows for the arrival window;
    // false once what is held passes the bound.
    bool Charge(qint64 bytes, qint64 newRows = 0);
    // What may still be charged before the bound is passed.
    qint64 Room() const;
    // The bytes received and not yet read, which come and go as replies are
    // taken; false once they and what is held pass the bound.
    bool Waiting(qint64 bytes);

private:
    bool withinBound() const;

    qint64 m_bound; // less the other accounts' rows
    qint64 m_shownOwn;
    qint64 m_bytesPerRow;
    qint64 m_held = 0;
    qint64 m_newRows = 0;
    qint64 m_waiting = 0;
};
