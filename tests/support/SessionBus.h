#pragma once

#include <QProcess>
#include <QString>

namespace testing_support
{

// A private D-Bus session bus for the life of the object; Address() is empty when it did not start.
class SessionBus
{
public:
    SessionBus();
    ~SessionBus();

    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    QString Address() const { return m_address; }

private:
    QProcess m_daemon;
    QString m_address;
};

} // namespace testing_support
