#pragma once
// Reading and replacing one part of a zip archive in memory (a spreadsheet package is one):
// when a part is replaced, every other entry is copied as it is, compressed bytes and all.

#include <QByteArray>

#include <optional>

// The uncompressed contents of the entry called name; nothing when the archive cannot be read or
// has no such entry.
std::optional<QByteArray> ReadZipEntry(const QByteArray& archive, const QByteArray& name);

// Puts contents (deflated) in place of the entry called name. False, with archive unchanged,
// when archive is not a zip archive this can read or has no such entry.
bool ReplaceZipEntry(QByteArray& archive, const QByteArray& name, const QByteArray& contents);
