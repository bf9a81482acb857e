#pragma once

#include <QAccessibleWidget>

// Tells assistive technology what the controls are: a label is static text
// read by its caption, a panel a pane, a picture a graphic, a page control a
// list of page tabs whose pages are read by their captions. Windows are read by
// their title, which Qt gives them already.
class TAccessible : public QAccessibleWidget {
public:
    explicit TAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
    QString text(QAccessible::Text t) const override;
};

// Installs the factory once; repeated calls do nothing.
void InstallAccessibility();
