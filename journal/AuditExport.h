#pragma once
// The audit file's figures for one history of the journal: the machine, its
// last reading, and the sales since its first reading in the journal (what
// it reported then, plus every sale after it, across clears and wraps) and
// since its last memory clear (its own counters, as its total is headed on
// the screen).
#include "journal/AuditFile.h"
#include "journal/JournalEvent.h"

#include <optional>

class Journal;

namespace AuditExport {

// Nothing when the history holds no reading. A column whose price or count
// no reading obtained is left out (`leftOut`), never given as 0.
std::optional<AuditFile::Reading> reading(Journal &journal, const JournalController &history);

// The operator's words for the columns left out; empty when none was.
QString leftOutText(const AuditFile::Reading &reading);

// The history a controller's reading just recorded went to: of those with
// its identity, the one with the latest event (a named machine or a visit
// kept apart as the journal placed it).
std::optional<JournalController> historyOf(Journal &journal, const QByteArray &identification,
                                           const QByteArray &version);

// Writes the reading's audit file to `file` (OutputFile: "-", a device or
// FIFO written through, a file replaced only whole), readable by its owner
// alone (the same sales as the journal), never over the journal at
// `journalPath` or beside it under its name. False with `error`.
bool write(const AuditFile::Reading &reading, const QString &file, const QString &journalPath, QString *error);

// The file's name in a folder: the machine's serial as ID101 gives it
// (AuditFile::serialNumber) and the reading's date and time
// ("ST-0001_20261207-0905.dex").
QString fileName(const AuditFile::Reading &reading);

} // namespace AuditExport
