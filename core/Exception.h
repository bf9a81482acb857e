#pragma once

#include <QString>

#include <exception>
#include <string>

// The program's failures. An Exception that reaches the message loop is shown to
// the user by TApplication; it never travels through Qt's own code.
class Exception : public std::exception {
public:
    explicit Exception(QString message) : FMessage(std::move(message)), FUtf8(FMessage.toStdString()) {}
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.c_str(); }

private:
    QString FMessage;
    std::string FUtf8;
};

// Raised while a component stream (a form description) is read.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

// Raised by the registry accessor.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// Raised when an object is asked for something its state does not allow, such as a
// second download while its own is under way.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};
