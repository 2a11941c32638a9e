#include "platform/gui/QtSoundService.h"

#include <QCoreApplication>
#include <QSoundEffect>
#include <QUrl>

void QtSoundService::PlayAsyncNoStop(const QString& path)
{
    if (!m_effect)
        m_effect = new QSoundEffect(QCoreApplication::instance());
    // A sound still loading counts as playing: replacing its source would cut it off.
    if (m_effect->isPlaying() || m_effect->status() == QSoundEffect::Loading)
        return;
    const QUrl source = QUrl::fromLocalFile(path);
    if (m_effect->source() != source)
        m_effect->setSource(source);
    m_effect->play();
}
