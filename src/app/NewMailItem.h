#pragma once

#include <QString>
#include <QtGlobal>

// One newly found message, handed from a check to the arrival window.
struct NewMailItem {
    qint32 nAccountIdx = 0;
    QString strFrom;
    QString strDate; // "YY/MM/DD HH:NN:SS", or empty when the header was missing or unreadable
    QString strSubject;
};

// A check may find hundreds of thousands; a growing list of them moves its
// block instead of copying every item into a new one beside the old.
Q_DECLARE_TYPEINFO(NewMailItem, Q_RELOCATABLE_TYPE);
