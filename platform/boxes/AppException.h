#pragma once
#include <QString>
#include <exception>

// The error that handlers let through to the application's error box: its text is what the
// user reads.
class AppException : public std::exception {
public:
    explicit AppException(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    const QString& message() const { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};
