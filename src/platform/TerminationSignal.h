#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the operating system's polite requests to end (SIGTERM, SIGINT,
// SIGHUP) into a Qt signal on the user-interface thread, so the program can
// end as orderly as from its own menu.
class TerminationSignal : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignal(QObject* parent = nullptr);
    ~TerminationSignal() override;

    TerminationSignal(const TerminationSignal&) = delete;
    TerminationSignal& operator=(const TerminationSignal&) = delete;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readPending();

    QSocketNotifier* m_notifier = nullptr;
};
