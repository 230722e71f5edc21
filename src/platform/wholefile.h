#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QFileDevice;

namespace lumetra {

// Writes all of bytes to file and flushes it to the system. A write the disk takes only in
// part reports no error of its own, so the rest is offered again, which either goes in or says
// why not. On failure error says why.
bool writeAll(QFileDevice& file, const QByteArray& bytes, QString& error);

// The file's bytes are on the disk (fsync), not only with the system: a save is said to be
// done only then. On failure error says why.
bool syncToDisk(QFileDevice& file, QString& error);

// Replaces the file at path by bytes, whole or not at all: on any failure the old file stays
// as it was. Returns why it failed, empty when the file was written.
QString saveWholeFile(const QString& path, const QByteArray& bytes);

// The bytes of a regular file of at most `most` bytes. Nothing, and `error` says why, for
// anything else: a pipe or a device would hold the reader for ever or fill memory.
std::optional<QByteArray> readSmallFile(const QString& path, qint64 most, QString& error);

} // namespace lumetra
