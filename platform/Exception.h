#pragma once
// Errors that the program raises and that reach the user through the application's standard
// error box (see TApplication::notify): socket errors, conversion errors.

#include <exception>

// Qt
#include <QByteArray>
#include <QString>

class Exception : public std::exception {
public:
    explicit Exception(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toUtf8()) {}
    const QString &Message() const { return FMessage; }
    const char *what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// The standard integer conversion failed.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
