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

// Why no file can be made in `folder` ("no such folder", "not a folder", or
// the system's reason); empty when one can.
QString folderProblem(const QString &folder);

// Writes `fill`'s output into the folder `folder` as a new file `name`, or,
// where that name is taken, as `name` with "-2", "-3", ... before its
// extension: never over a file, not even one that appears meanwhile (an
// importer may not have taken the last file yet; two readings in one minute
// share a name). The output is written under a hidden name in the folder
// (".NAME.xxxxxxxx", which importers skip) and takes its own name only whole,
// so that a program watching the folder never sees part of a file.
// Readable by its owner alone. Returns the file's path; empty, with `error`,
// when nothing was left in the folder.
QString writeInto(const QString &folder, const QString &name, const Fill &fill, QString *error);
QString writeInto(const QString &folder, const QString &name, const QByteArray &bytes, QString *error);

} // namespace OutputFile
