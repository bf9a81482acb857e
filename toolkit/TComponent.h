#pragma once

#include <QObject>

// A non-visual component of a form: it has a name and a Tag, and the designer's
// position (Left, Top), which the program does not use.
class TComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Top READ Top WRITE SetTop)

public:
    explicit TComponent(QObject* owner = nullptr) : QObject(owner) {}

    QString Name() const { return objectName(); }
    int Tag() const { return FTag; }
    void SetTag(int value) { FTag = value; }
    int Left() const { return FLeft; }
    void SetLeft(int value) { FLeft = value; }
    int Top() const { return FTop; }
    void SetTop(int value) { FTop = value; }

    // Runs once the whole form description has been read.
    virtual void Loaded() {}

private:
    int FTag = 0;
    int FLeft = 0;
    int FTop = 0;
};
