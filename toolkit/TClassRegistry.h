#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <type_traits>

// The component classes a form description may name, by class name.
class TClassRegistry {
public:
    // Creates a component: a control inside `parent`, anything else owned by `owner`.
    using TFactory = std::function<QObject*(QWidget* parent, QObject* owner)>;

    template <typename TClass>
    static void RegisterClass() {
        Register(QString::fromLatin1(TClass::staticMetaObject.className()), IsControl<TClass>(),
                 [](QWidget* parent, QObject* owner) -> QObject* {
                     if constexpr (std::is_base_of_v<QWidget, TClass>)
                         return new TClass(parent);
                     else
                         return new TClass(owner);
                 });
    }

    // Null when no class of that name is registered. `isControl` tells whether
    // instances need a parent control.
    static TFactory Find(const QString& className, bool* isControl = nullptr);
    // Every registered class, by the name it was registered under, in lower case.
    static QStringList ClassNames();

private:
    template <typename TClass>
    static constexpr bool IsControl() {
        return std::is_base_of_v<QWidget, TClass>;
    }
    static void Register(const QString& className, bool isControl, TFactory factory);
};
