#pragma once

#include "i18n/TCustomTranslator.h"

// The translator component that windows carry; all behaviour is its base's.
class TTranslator : public TCustomTranslator {
    Q_OBJECT

public:
    explicit TTranslator(QObject* owner = nullptr) : TCustomTranslator(owner) {}
};
