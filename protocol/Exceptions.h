#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace rt {

// An error the host shows in its error display.
class Exception : public std::exception
{
public:
    explicit Exception(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A request refused for what it asks (an invalid value, a record changed by
// someone else): nothing was applied, and asking again gets the same answer.
class Refusal : public Exception
{
public:
    using Exception::Exception;
};

// Ends an operation without a message.
class EAbort : public Exception
{
public:
    EAbort() : Exception(QString()) {}
};

} // namespace rt

namespace Sysutils {
[[noreturn]] inline void Abort() { throw rt::EAbort(); }
} // namespace Sysutils
