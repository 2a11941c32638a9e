#include "mail/ApplyCheckOutcome.h"

#include "app/AccountEntry.h"
#include "app/Fun_UboundEx.h"
#include "mail/IArrivalWindow.h"
#include "mail/IMailCheckHost.h"
#include "mail/Pop3CheckSession.h"

void ApplyCheckOutcome(
    IMailCheckHost& host, qint32 rowTag, AccountEntry& account, const Pop3CheckOutcome& outcome)
{
    host.SetStatusText(rowTag, outcome.status);
    // An empty mailbox keeps the old list: nothing says those messages went.
    // A list that came back the same is not written again.
    if (outcome.succeeded && Fun_UboundEx::UboundEx(outcome.identifiers) >= 0
        && account.UIDL != outcome.identifiers) {
        account.UIDL = outcome.identifiers;
        host.StoreSeenLists();
    }

    // A row the user deleted during the check has nobody to announce to.
    if (!outcome.succeeded || outcome.newMail.isEmpty() || !host.HasRow(rowTag))
        return;
    IArrivalWindow& arrival = host.ArrivalWindow();
    arrival.RemoveMail(rowTag);
    for (const NewMailItem& mail : outcome.newMail)
        arrival.MailArraival(mail.nAccountIdx, mail.strFrom, mail.strDate, mail.strSubject);
    arrival.ShowForm();
}
