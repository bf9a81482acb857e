#pragma once

#include <QString>

// Services that several windows share. None keeps state between calls.

// The maker's folder, "Kestrelweave" in the user's home, created (with any missing
// folder above it) on every call; the home folder itself when that cannot be created.
// Always ends in "/".
QString GetMakerFolder();

// Makes a mail link safe to hand to the shell: every space becomes "%20" and every
// line feed "%0d%0a"; nothing else is touched (no "%", "&" or carriage return).
QString EncodeMailLink(const QString& link);

// The encoded link that composes a support mail with `subject` and the fixed greeting.
QString SupportMailLink(const QString& subject);

// Opens the link configured under the machine's "SOFTWARE\Kestrelweave\Links" as the
// string value `name`, read afresh; the site's address when the value is missing.
// A value of another type raises ERegistryException and opens nothing.
void OpenNamedLink(const QString& name);
