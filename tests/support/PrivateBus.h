#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A D-Bus daemon of the test's own, with one of the stand-in scripts of
// tests/support on it. The script prints the bus's address, then answers
// each line it is sent once what the line asks is out on the bus. Start it
// before the application, which connects to each bus once.
class PrivateBus {
public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Runs tests/support/<script> on a new bus; false when no address came.
    bool Start(const QString& script);
    QByteArray Address() const { return m_address; }
    // Sends one line and returns the script's answer.
    QByteArray Ask(const QByteArray& line);

private:
    QByteArray readLine();

    QProcess m_service;
    QByteArray m_address;
};
