#include "platform/keyring/QtKeychainService.h"

#include <qt6keychain/keychain.h>

#include <QTimer>

namespace {

const QString kService = QStringLiteral("tandrel");

// Answers once the job is over. The answer is passed on from the event loop,
// not from inside the job's signal: whoever receives it may open a message
// box, and the job deletes itself when its signal returns.
void answer(QKeychain::Job* job, KeyringService::Done done)
{
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished, [done = std::move(done)](QKeychain::Job* finished) {
        KeyringService::Result result = KeyringService::Result::Ok;
        QString text;
        if (finished->error() == QKeychain::EntryNotFound) {
            result = KeyringService::Result::NotFound;
        } else if (finished->error() != QKeychain::NoError) {
            result = KeyringService::Result::Failed;
            text = finished->errorString();
        } else if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(finished)) {
            text = read->textData();
        }
        QTimer::singleShot(0, [done, result, text] { done(result, text); });
    });
    job->start();
}

} // namespace

void QtKeychainService::Read(const QString& key, Done done)
{
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(key);
    answer(job, std::move(done));
}

void QtKeychainService::Write(const QString& key, const QString& password, Done done)
{
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(key);
    job->setTextData(password);
    answer(job, std::move(done));
}

void QtKeychainService::Remove(const QString& key, Done done)
{
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(key);
    answer(job, std::move(done));
}
