#pragma once

#include "core/TStreamValue.h"

#include <QByteArray>
#include <QString>

class QObject;
class TForm;

// Builds a form from a component stream: creates each component by its registered
// class name, sets its properties by name through the meta-object system (dotted
// names reach nested objects such as Font), hands values that are not properties
// to the object's IStreamable, binds events to the form's methods by name, and
// resolves references to other components once everything is read.
class TReader {
public:
    // Reads the stream (text form syntax or binary format) at `path` into `root`.
    static void ReadComponentResource(TForm* root, const QString& path);
    // Parses a component stream in any of the stored formats.
    static TStreamComponent ParseStream(const QByteArray& bytes, const QString& sourceName);
    // Reads an already parsed stream into `root`, whose class must be the stream's.
    static void ReadRootComponent(TForm* root, const TStreamComponent& stream);
    // Sets one property, as a stream would; `root` resolves events and references.
    static void SetProperty(QObject* object, const QString& name, const TStreamValue& value, TForm* root);
};
