// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of every failure the program raises. The message is what the error box shows.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

// A text that is not an integer.
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};
