#pragma once
// The controller's automatic change reconciliation: it pays out the surplus
// of every coin tube and reports, per tube, the coins missing to reach the
// standard count. The operator then refills and confirms, or ends it.
#include <QByteArray>
#include <QString>
#include <cstdint>

class DeviceLink;
class OperationHost;
struct DeviceData;

namespace ChangeReconciliation {

// Payload length of the "QVER" report: firmware 2.00 and later append the
// refund total.
int reportLength(std::int32_t firmwareVersion);

// The text shown to the operator for a "QVER" payload. Fields that are
// missing or not hexadecimal count as 0.
QString reportText(const QByteArray &payload);

// How the operator answered the report.
enum class Outcome { Declined, Refilled, Ended };

// Runs the reconciliation: confirmation, "QVU1", "QVER", the report with
// OK (refilled: "QVEJ" and a read-back) or Cancel, then "QVEQ" and a
// read-back, and "QVU0" unless the I/O panel holds the write state in
// manual mode. Statuses are not examined.
Outcome run(DeviceLink &link, OperationHost &host, const DeviceData &data);

} // namespace ChangeReconciliation
