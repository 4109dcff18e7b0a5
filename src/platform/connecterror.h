#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// A failure that reaches the user: its description follows the operation's prefix.
class Failure : public std::exception
{
public:
    explicit Failure(QString description)
        : m_description(std::move(description))
        , m_what(m_description.toUtf8())
    {
    }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_description;
    QByteArray m_what;
};

// The product's own error: its description is exactly the message.
class ConnectError : public Failure
{
public:
    using Failure::Failure;
    const QString &message() const noexcept { return description(); }
};

// An error of the platform (file system, network, JSON parser, child process), carrying
// the platform's own description.
class PlatformError : public Failure
{
public:
    using Failure::Failure;
};
