#include "toolkit/TReader.h"

#include "core/Exception.h"
#include "core/IStreamable.h"
#include "core/TBinaryStreamReader.h"
#include "core/TMethod.h"
#include "core/TTextFormParser.h"
#include "toolkit/ICollection.h"
#include "toolkit/TClassRegistry.h"
#include "toolkit/TComponent.h"
#include "toolkit/TForm.h"

#include <QApplication>
#include <QFile>
#include <QMetaProperty>

namespace {

// A reference to another component, set once every component exists.
struct TFixup {
    QPointer<QObject> Object;
    QMetaProperty Property;
    QString ComponentName;
    QString Where;
};

class TLoader {
public:
    explicit TLoader(TForm* root) : FRoot(root) {}

    void ReadRoot(const TStreamComponent& stream) {
        const QString rootClass = QString::fromLatin1(FRoot->metaObject()->className());
        if (stream.ClassName.compare(rootClass, Qt::CaseInsensitive) != 0)
            throw EReadError(
                QStringLiteral("The form description is for %1, not %2").arg(stream.ClassName, rootClass));
        if (!stream.Name.isEmpty())
            FRoot->setObjectName(stream.Name);
        {
            const TControl::TStreamingScope streaming;
            FRoot->BeginLoading();
            ReadProperties(FRoot, stream);
            ReadChildren(FRoot, stream);
            ResolveFixups();
        }
        // Parents before their children: the order of creation.
        FRoot->EndLoading();
        for (int i = 0; i < FRoot->ComponentCount(); ++i)
            Loaded(FRoot->Components(i));
    }

    void SetProperty(QObject* object, const QString& name, const TStreamValue& value, const QString& where) {
        QObject* target = object;
        const QStringList parts = name.split(QLatin1Char('.'));
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            const int index = target->metaObject()->indexOfProperty(parts[i].toLatin1().constData());
            QObject* inner = nullptr;
            if (index >= 0)
                inner = target->metaObject()->property(index).read(target).value<QObject*>();
            if (!inner)
                Fail(where, name, QStringLiteral("Property %1 does not exist").arg(name));
            target = inner;
        }
        const QString last = parts.last();
        const int index = target->metaObject()->indexOfProperty(last.toLatin1().constData());
        if (index >= 0 && value.Kind == TStreamValue::vaCollection) {
            QObject* held = target->metaObject()->property(index).read(target).value<QObject*>();
            if (auto* collection = dynamic_cast<ICollection*>(held)) {
                ReadCollection(collection, value, where + QLatin1Char('.') + name);
                return;
            }
        }
        if (index >= 0 && target->metaObject()->property(index).isWritable()) {
            WriteProperty(target, target->metaObject()->property(index), value, where, name);
            return;
        }
        if (auto* streamable = dynamic_cast<IStreamable*>(target)) {
            try {
                if (streamable->ReadDefinedProperty(last, value))
                    return;
            } catch (const EReadError& e) {
                Fail(where, name, e.Message());
            }
        }
        Fail(where, name, QStringLiteral("Property %1 does not exist").arg(name));
    }

    // The stored items replace the collection's items; an item's order value is not kept.
    void ReadCollection(ICollection* collection, const TStreamValue& value, const QString& where) {
        collection->Clear();
        for (std::size_t i = 0; i < value.Items.size(); ++i) {
            QObject* item = collection->Add();
            const QString itemWhere = QStringLiteral("%1[%2]").arg(where).arg(i);
            for (const TStreamProperty& property : value.Items[i].Properties)
                SetProperty(item, property.Name, property.Value, itemWhere);
        }
    }

    [[noreturn]] static void Fail(const QString& where, const QString& property, const QString& reason) {
        throw EReadError(QStringLiteral("Error reading %1.%2: %3").arg(where, property, reason));
    }

    static void Loaded(QObject* component) {
        if (auto* control = qobject_cast<TControl*>(component))
            control->EndLoading();
        else if (auto* nonVisual = qobject_cast<TComponent*>(component))
            nonVisual->Loaded();
    }

    void ReadProperties(QObject* object, const TStreamComponent& stream) {
        const QString where = object == FRoot ? FRoot->objectName() : stream.Name;
        for (const TStreamProperty& property : stream.Properties)
            SetProperty(object, property.Name, property.Value, where);
    }

    void ReadChildren(QObject* parent, const TStreamComponent& stream) {
        for (const TStreamComponent& child : stream.Children) {
            bool isControl = false;
            const TClassRegistry::TFactory factory = TClassRegistry::Find(child.ClassName, &isControl);
            if (!factory)
                throw EReadError(QStringLiteral("Class %1 not found").arg(child.ClassName));
            if (!child.Name.isEmpty() && FRoot->FindComponent(child.Name))
                throw EReadError(QStringLiteral("A component named %1 already exists").arg(child.Name));
            QWidget* parentWidget = qobject_cast<TWinControl*>(parent);
            if (isControl && !parentWidget)
                throw EReadError(QStringLiteral("Control '%1' has no parent window").arg(child.Name));
            QObject* component = factory(isControl ? parentWidget : nullptr, FRoot);
            component->setObjectName(child.Name);
            FRoot->InsertComponent(component);
            ReadProperties(component, child);
            ReadChildren(component, child);
        }
    }

    void WriteProperty(QObject* target, const QMetaProperty& property, const TStreamValue& value,
                       const QString& where, const QString& name) {
        const QMetaType type = property.metaType();
        auto invalid = [&]() -> void {
            Fail(where, name, QStringLiteral("Invalid property value %1").arg(value.Describe()));
        };
        QVariant variant;
        if (type == QMetaType::fromType<TMethod>()) {
            if (value.Kind == TStreamValue::vaNil) {
                variant = QVariant::fromValue(TMethod());
            } else {
                if (value.Kind != TStreamValue::vaIdent)
                    invalid();
                const TMethod method = TMethod::Find(FRoot, value.Text.toLatin1());
                if (!method.Assigned())
                    Fail(where, name, QStringLiteral("Method %1 not found").arg(value.Text));
                if (const QString mismatch = TMethod::Mismatch(target, property.name(), method.Code());
                    !mismatch.isEmpty())
                    Fail(where, name, mismatch);
                variant = QVariant::fromValue(method);
            }
        } else if (property.isFlagType()) {
            if (value.Kind != TStreamValue::vaSet)
                invalid();
            int bits = 0;
            for (const QString& flag : value.Names) {
                bool ok = false;
                bits |= property.enumerator().keyToValue(flag.toLatin1().constData(), &ok);
                if (!ok)
                    invalid();
            }
            variant = QVariant(type, &bits);
        } else if (property.isEnumType()) {
            int number = 0;
            bool ok = true;
            if (value.Kind == TStreamValue::vaIdent)
                number = property.enumerator().keyToValue(value.Text.toLatin1().constData(), &ok);
            else if (value.IsInteger() && value.Int >= std::numeric_limits<std::int32_t>::min() &&
                     value.Int <= std::numeric_limits<std::uint32_t>::max())
                number = static_cast<int>(static_cast<std::int32_t>(value.Int));
            else
                ok = false;
            if (!ok)
                invalid();
            variant = QVariant(type, &number);
        } else if (type.flags().testFlag(QMetaType::PointerToQObject)) {
            if (value.Kind == TStreamValue::vaNil) {
                variant = QVariant(type, nullptr);
            } else {
                if (value.Kind != TStreamValue::vaIdent)
                    invalid();
                FFixups.push_back({target, property, value.Text, where + QLatin1Char('.') + name});
                return;
            }
        } else {
            switch (type.id()) {
                case QMetaType::Bool:
                    if (value.Kind != TStreamValue::vaTrue && value.Kind != TStreamValue::vaFalse)
                        invalid();
                    variant = value.Kind == TStreamValue::vaTrue;
                    break;
                case QMetaType::Int:
                    if (!value.IsInteger() || value.Int < std::numeric_limits<int>::min() ||
                        value.Int > std::numeric_limits<int>::max())
                        invalid();
                    variant = static_cast<int>(value.Int);
                    break;
                case QMetaType::LongLong:
                    if (!value.IsInteger())
                        invalid();
                    variant = static_cast<qlonglong>(value.Int);
                    break;
                case QMetaType::Double:
                    if (!value.IsFloat() && !value.IsInteger())
                        invalid();
                    variant = value.IsFloat() ? value.Float : static_cast<double>(value.Int);
                    break;
                case QMetaType::QString:
                    if (!value.IsString())
                        invalid();
                    variant = value.Text;
                    break;
                case QMetaType::QStringList: {
                    if (value.Kind != TStreamValue::vaList)
                        invalid();
                    QStringList list;
                    for (const TStreamValue& item : value.List) {
                        if (!item.IsString())
                            invalid();
                        list.append(item.Text);
                    }
                    variant = list;
                    break;
                }
                case QMetaType::QByteArray:
                    if (value.Kind != TStreamValue::vaBinary)
                        invalid();
                    variant = value.Bytes;
                    break;
                default:
                    invalid();
            }
        }
        if (!property.write(target, variant))
            invalid();
    }

    // Component references can name components read later: they are set at the end.
    // "frmMain.LangDispatcher1" names a component of another live form; while that
    // form does not exist the property stays unset, so a window also works alone.
    void ResolveFixups() {
        for (const TFixup& fixup : FFixups) {
            if (!fixup.Object)
                continue;
            QObject* component = nullptr;
            const qsizetype dot = fixup.ComponentName.indexOf(QLatin1Char('.'));
            if (dot >= 0) {
                const TForm* form = LiveForm(fixup.ComponentName.left(dot));
                if (!form)
                    continue;
                component = form->FindComponent(fixup.ComponentName.mid(dot + 1));
            } else {
                component = FRoot->FindComponent(fixup.ComponentName);
                if (!component && fixup.ComponentName.compare(FRoot->objectName(), Qt::CaseInsensitive) == 0)
                    component = FRoot;
            }
            const QMetaObject* wanted = fixup.Property.metaType().metaObject();
            if (!component || (wanted && !component->metaObject()->inherits(wanted)))
                throw EReadError(QStringLiteral("Error reading %1: Invalid property value %2")
                                     .arg(fixup.Where, fixup.ComponentName));
            fixup.Property.write(fixup.Object, QVariant(fixup.Property.metaType(), &component));
        }
    }

private:
    static const TForm* LiveForm(const QString& name) {
        if (name.isEmpty())
            return nullptr;
        for (const QWidget* window : QApplication::topLevelWidgets()) {
            const auto* form = qobject_cast<const TForm*>(window);
            if (form && form->objectName().compare(name, Qt::CaseInsensitive) == 0)
                return form;
        }
        return nullptr;
    }

    TForm* FRoot;
    std::vector<TFixup> FFixups;
};

}  // namespace

TStreamComponent TReader::ParseStream(const QByteArray& bytes, const QString& sourceName) {
    // No text form description can start with the binary format's signature.
    if (bytes.startsWith("TPF0"))
        return TBinaryStreamReader::Parse(bytes, sourceName);
    return TTextFormParser::Parse(bytes, sourceName);
}

void TReader::ReadComponentResource(TForm* root, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EReadError(QStringLiteral("Resource %1 not found").arg(path));
    ReadRootComponent(root, ParseStream(file.readAll(), path.section(QLatin1Char('/'), -1)));
}

void TReader::ReadRootComponent(TForm* root, const TStreamComponent& stream) {
    TLoader(root).ReadRoot(stream);
}

void TReader::SetProperty(QObject* object, const QString& name, const TStreamValue& value, TForm* root) {
    TLoader loader(root);
    loader.SetProperty(object, name, value, object->objectName());
    loader.ResolveFixups();
}
