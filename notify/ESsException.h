#pragma once
#include "platform/boxes/AppException.h"

// A failure of the shell components, with its code. Shown by the application's error box like
// any other error that reaches it.
class ESsException : public AppException {
public:
    ESsException(const QString& message, int errorCode) : AppException(message), errorCode_(errorCode) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// A folder that can't be parsed or used.
class ESsInvalidFolder : public ESsException {
public:
    ESsInvalidFolder() : ESsException(QStringLiteral("Invalid folder"), 240) {}
    ESsInvalidFolder(const QString& message, int errorCode) : ESsException(message, errorCode) {}
};

// Something the shell can't do.
class ESsShellError : public ESsException {
public:
    ESsShellError() : ESsException(QStringLiteral("Operation not supported in this version of the shell"), 110) {}
};
