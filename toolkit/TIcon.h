#pragma once

#include "core/IStreamable.h"

#include <QIcon>
#include <QObject>

// A window icon; its "Data" is the bytes of an .ico file.
class TIcon : public QObject, public IStreamable {
    Q_OBJECT

public:
    explicit TIcon(QObject* parent = nullptr) : QObject(parent) {}
    const QIcon& Icon() const { return FIcon; }
    bool ReadDefinedProperty(const QString& name, const TStreamValue& value) override;

Q_SIGNALS:
    void Changed();

private:
    QIcon FIcon;
};
