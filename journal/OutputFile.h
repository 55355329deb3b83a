#pragma once
// Where the program's outputs go (--output, the exports, the report, the
// journal's copy), decided in one place: "-" is standard output; a device,
// a FIFO or a socket is written through as it stands, since a file renamed
// over it would take its place (as root, the system's /dev/null); a regular
// file, or a name not there yet, is replaced only by a complete output,
// written beside it and renamed over it, so that a failed write leaves the
// old file as it was.
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>

namespace OutputFile {

enum class Way { StandardOutput, Through, Replace };

// How `name` is written, as the file system has it now.
Way wayOf(const QString &name);

// What an output holds, written to the device it is given; false when it
// could not be (with `error` set when it knows why).
using Fill = std::function<bool(QIODevice &out, QString *error)>;

// Writes `fill`'s output to `name` in its way. `ownerOnly`: a file made or
// replaced is readable by its owner alone (it holds the sales the journal
// holds); a device or FIFO keeps its own permissions. False with `error`.
bool write(const QString &name, const Fill &fill, bool ownerOnly, QString *error);
bool write(const QString &name, const QByteArray &bytes, bool ownerOnly, QString *error);

} // namespace OutputFile
