#pragma once

#include <QString>

#include <memory>

// A named system object that exists while a program holds it. Creating one never
// fails visibly and never blocks: a second holder of the same name carries on.
class INamedMutex {
public:
    virtual ~INamedMutex() = default;
    virtual QString Name() const = 0;
    // True when the object already existed (another process holds it too).
    virtual bool AlreadyExisted() const = 0;
};

std::unique_ptr<INamedMutex> CreateNamedMutex(const QString& name);
