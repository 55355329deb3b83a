#include "emulator/ControllerModel.h"

#include <QElapsedTimer>
#include <QHash>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QByteArray Ok = "OK   :";

// Upper-case hexadecimal, `digits` wide with leading zeros, the low digits
// of a wider value. The emulator's own, so that a fault in the utility's
// value formats cannot cancel out in a round trip through it.
QByteArray hexDigits(std::uint32_t value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out(digits, '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[i] = hex[value & 0xF];
    return out;
}

// 1-8 hexadecimal digits, either case; anything else fails.
bool parseHex(const QByteArray &digits, std::uint32_t *value)
{
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    bool ok = false;
    const qulonglong v = digits.toULongLong(&ok, 16);
    if (!ok || digits.startsWith('+') || digits.startsWith('-') || digits.contains(' '))
        return false;
    *value = std::uint32_t(v);
    return true;
}

// Index character of the price and count reads: 0-9, then A-F.
int indexOf(char c)
{
    static const QByteArray chars = "0123456789ABCDEF";
    return chars.indexOf(c);
}

int receiptLineOf(char c)
{
    return c >= 'A' && c <= 'C' ? c - 'A' : -1;
}

int digitAt(const QByteArray &text, int position1)
{
    if (position1 < 1 || position1 > text.size())
        return 0;
    const char c = text.at(position1 - 1);
    return c >= '0' && c <= '9' ? c - '0' : 0;
}

} // namespace

ControllerModel::Clock ControllerModel::steadyClock()
{
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    return [timer] { return timer->elapsed(); };
}

ControllerModel::ControllerModel(const ControllerState &initial, Clock clock)
    : s_(initial), stored_(initial.settings), pending_(initial.settings),
      clock_(std::move(clock))
{
}

void ControllerModel::setSalesSimulation(const SalesSimulation &simulation)
{
    simulation_ = simulation;
    simulation_.minIntervalMs = std::max(1, simulation_.minIntervalMs);
    simulation_.maxIntervalMs = std::max(simulation_.minIntervalMs, simulation_.maxIntervalMs);
    rng_.seed(simulation_.seed);
    nextSaleAt_ = clock_() + nextSaleDelay();
}

qint64 ControllerModel::nextSaleDelay()
{
    std::uniform_int_distribution<int> d(simulation_.minIntervalMs, simulation_.maxIntervalMs);
    return d(rng_);
}

void ControllerModel::replaceController(const ControllerState &next)
{
    s_ = next;
    stored_ = pending_ = next.settings;
    totalTenths_ = 0;
    resetting_ = reconciling_ = false;
}

void ControllerModel::advance()
{
    const qint64 now = clock_();
    if (simulation_.enabled) {
        // Sales due since the last look, in order; none while restarting.
        int due = 0;
        while (now >= nextSaleAt_ && due < 10000) {
            if (!(resetting_ && nextSaleAt_ < restartEndsAt_))
                sellOne();
            nextSaleAt_ += nextSaleDelay();
            ++due;
        }
        if (now >= nextSaleAt_)
            nextSaleAt_ = now + nextSaleDelay();
    }
    if (resetting_ && now >= restartEndsAt_)
        finishRestart();
}

void ControllerModel::sellOne()
{
    std::vector<int> priced;
    for (int i = 0; i < Controller::Columns; ++i) {
        if (s_.prices[std::size_t(i)] > 0)
            priced.push_back(i);
    }
    int column;
    if (priced.empty()) {
        column = std::uniform_int_distribution<int>(0, Controller::Columns - 1)(rng_);
    } else {
        column = priced[std::size_t(std::uniform_int_distribution<int>(0, int(priced.size()) - 1)(rng_))];
    }
    auto &count = s_.counts[std::size_t(column)];
    count = (count + 1) & 0xFFFF;
    // The total is whole yen; the price is tenths of a yen for columns 1-4
    // and 9-16 and yen for 5-8, as the window shows it. The tenths are kept
    // here so that the total never drifts from the sum of the prices.
    const bool wholeYen = column >= 4 && column <= 7;
    const std::uint64_t tenths = totalTenths_ + std::uint64_t(s_.prices[std::size_t(column)]) * (wholeYen ? 10 : 1);
    s_.salesTotal += std::uint32_t(tenths / 10);
    totalTenths_ = int(tenths % 10);
    // The customer's coins land in one of the automatic tubes.
    const int tube = std::uniform_int_distribution<int>(0, 3)(rng_);
    auto &current = s_.tubeCurrent[std::size_t(tube)];
    current = std::min(current + 1, 99);
    ++simulatedSales_;
}

void ControllerModel::startRestart()
{
    resetting_ = true;
    restartEndsAt_ = clock_() + restartMs_;
    s_.writeMode = false;
    reconciling_ = false;
}

void ControllerModel::finishRestart()
{
    resetting_ = false;
    s_.settings = stored_;
    pending_ = stored_;
    s_.writeMode = false;
}

int ControllerModel::firmwareVersion() const
{
    const int found = s_.versionText.indexOf("ver");
    const int p = found < 0 ? 0 : found + 1;
    return digitAt(s_.versionText, p + 3) * 100 + digitAt(s_.versionText, p + 5) * 10
        + digitAt(s_.versionText, p + 6);
}

QByteArray ControllerModel::frame(const QByteArray &status, const QByteArray &payload)
{
    return status + payload + '\r';
}

QByteArray ControllerModel::errorStatus(int number)
{
    return "ERR" + QByteArray::number(number).rightJustified(2, '0') + ':';
}

QByteArray ControllerModel::fitted(const QByteArray &value, int width)
{
    return value.left(width).leftJustified(width, ' ');
}

QByteArray ControllerModel::refusal(int number, const QByteArray &command) const
{
    return frame(errorStatus(number), QByteArray(std::max(0, payloadWidth(command)), '0'));
}

int ControllerModel::payloadWidth(const QByteArray &c) const
{
    static const QHash<QByteArray, int> fixed = {
        {"QV", 0}, {"QVQ", 2}, {"QVY", 2}, {"QVREA", 8}, {"QVREC", 4}, {"QVC", 19},
        {"QVU1", 2}, {"QVU0", 2}, {"QVW", 3}, {"QVF", 3}, {"QVZ0", 3},
        {"QVEJ", 45}, {"QVEQ", 45},
    };
    const auto it = fixed.constFind(c);
    if (it != fixed.constEnd())
        return *it;
    if (c == "QVER")
        return firmwareVersion() >= 200 ? 54 : 45;
    if (c.size() == 5 && (c.startsWith("QVRP") || c.startsWith("QVRC")))
        return 4;
    if (c.size() == 5 && c.startsWith("QVRO") && c.at(4) >= '1' && c.at(4) <= '6')
        return 2;
    if (c.startsWith("QVSON="))
        return 10;
    if (c.size() >= 6 && c.startsWith("QVSO") && c.at(5) == '=')
        return receiptLineOf(c.at(4)) >= 0 ? 40 : 2;
    if (c.startsWith("QVSP"))
        return 4;
    if (c.size() >= 5 && c.startsWith("QVSM"))
        return c.at(4) >= '5' && c.at(4) <= '8' ? 4 : 2;
    if (c.startsWith("QVX"))
        return 6;
    return -1;
}

QByteArray ControllerModel::handleCommand(const QByteArray &command)
{
    advance();
    if (resetting_)
        return frame("RBUSY:", QByteArray(std::max(0, payloadWidth(command)), '0'));
    return dispatch(command);
}

QByteArray ControllerModel::dispatch(const QByteArray &c)
{
    if (c == "QV")
        return frame(Ok, QByteArray());
    if (c == "QVY")
        return frame(reconciling_ ? "EBUSY:" : Ok, hexDigits(std::uint32_t(s_.statusFlags) & 0xFF, 2));
    if (c == "QVU1" || c == "QVU0") {
        s_.writeMode = c == "QVU1";
        return frame(Ok, c == "QVU1" ? "01" : "00");
    }
    if (c == "QVF") {
        startRestart();
        return frame(Ok, "000");
    }
    if (c.startsWith("QVX")) {
        const QByteArray states = c.mid(3);
        if (states.size() != Controller::Inputs)
            return refusal(ControllerError::BadParameter, c);
        for (char ch : states) {
            if (ch != '0' && ch != '1' && ch != '*')
                return refusal(ControllerError::BadParameter, c);
        }
        // Position p (1 = first) carries signal 20 - p.
        std::uint32_t mask = 0;
        for (int p = 1; p <= Controller::Inputs; ++p) {
            const char ch = states.at(p - 1);
            auto &input = s_.inputs[std::size_t(Controller::Inputs - p)];
            if (ch != '*')
                input = ch == '1';
        }
        for (int sgn = 0; sgn < Controller::Inputs; ++sgn) {
            if (s_.inputs[std::size_t(sgn)])
                mask |= 1u << sgn;
        }
        return frame(Ok, hexDigits(mask, 6));
    }
    if (c == "QVER" || c == "QVEJ" || c == "QVEQ")
        return reconciliation(c);
    if (c.startsWith("QVS") || c == "QVZ0" || c == "QVW")
        return write(c);
    return read(c);
}

QByteArray ControllerModel::read(const QByteArray &c)
{
    if (c == "QVV")
        return frame(Ok, s_.versionText);
    if (c == "QVQ")
        return frame(Ok, hexDigits(std::uint32_t(s_.statusFlags) & 0xFF, 2));
    if (c == "QVREA")
        return frame(Ok, hexDigits(s_.salesTotal, 8));
    if (c == "QVREC")
        return frame(Ok, hexDigits(std::uint32_t(s_.earnValueC) & 0xFFFF, 4));
    if (c == "QVC")
        return frame(Ok, hexDigits(std::uint32_t(s_.coinReplyValue) & 0xFFFF, 4) + fitted(s_.coinReplyTail, 15));
    if (c == "QVRON")
        return frame(Ok, s_.settings.idText);
    if (c.size() == 5 && (c.startsWith("QVRP") || c.startsWith("QVRC"))) {
        const int i = indexOf(c.at(4));
        if (i < 0)
            return refusal(ControllerError::BadParameter, c);
        const int value = c.at(3) == 'P' ? s_.prices[std::size_t(i)] : s_.counts[std::size_t(i)];
        return frame(Ok, hexDigits(std::uint32_t(value) & 0xFFFF, 4));
    }
    if (c.size() == 5 && c.startsWith("QVRO")) {
        const char k = c.at(4);
        if (k >= '1' && k <= '6')
            return frame(Ok, hexDigits(std::uint32_t(s_.settings.options[std::size_t(k - '1')]) & 0xFF, 2));
        const int line = receiptLineOf(k);
        if (line >= 0) {
            const ReceiptLine &r = s_.settings.receipt[std::size_t(line)];
            return frame(Ok, QByteArray::number(r.x) + QByteArray::number(r.y) + r.text);
        }
    }
    return frame(errorStatus(ControllerError::UnknownCommand), QByteArray());
}

QByteArray ControllerModel::write(const QByteArray &c)
{
    const bool known = c == "QVZ0" || c == "QVW" || c.startsWith("QVSO") || c.startsWith("QVSP")
        || c.startsWith("QVSM");
    if (!known)
        return frame(errorStatus(ControllerError::UnknownCommand), QByteArray());
    if (!s_.writeMode)
        return refusal(ControllerError::NotInWriteMode, c);

    if (c == "QVZ0") {
        s_.counts.fill(0);
        if (!s_.clearKeepsTotal) {
            s_.salesTotal = 0;
            totalTenths_ = 0;
        }
        return frame(Ok, "000");
    }
    if (c == "QVW") {
        stored_ = pending_;
        return frame(Ok, "000");
    }
    const int eq = c.indexOf('=');
    if (eq != 5)
        return refusal(ControllerError::BadParameter, c);
    const char which = c.at(4);
    const QByteArray value = c.mid(6);
    std::uint32_t v = 0;

    if (c.startsWith("QVSO")) {
        if (which >= '1' && which <= '6') {
            const int k = which - '1';
            if (!parseHex(value, &v) || v >= std::uint32_t(OptionItems[k]))
                return refusal(ControllerError::BadParameter, c);
            pending_.options[std::size_t(k)] = int(v);
            return frame(Ok, hexDigits(v, 2));
        }
        if (which == 'N') {
            if (value.size() > Controller::IdTextMax)
                return refusal(ControllerError::BadParameter, c);
            pending_.idText = value;
            return frame(Ok, fitted(value, 10));
        }
        const int line = receiptLineOf(which);
        if (line < 0)
            return frame(errorStatus(ControllerError::UnknownCommand), QByteArray());
        if (value.size() < 2 || value.at(0) < '1' || value.at(0) > '4' || value.at(1) < '1'
            || value.at(1) > '4' || value.size() - 2 > Controller::ReceiptTextMax)
            return refusal(ControllerError::BadParameter, c);
        pending_.receipt[std::size_t(line)] = ReceiptLine{value.at(0) - '0', value.at(1) - '0', value.mid(2)};
        return frame(Ok, fitted(value, 40));
    }
    if (c.startsWith("QVSP")) {
        const int i = indexOf(which);
        if (i < 0 || !parseHex(value, &v) || v > std::uint32_t(Controller::MaxPrice))
            return refusal(ControllerError::BadParameter, c);
        // Prices take effect at once; the utility reads them back right away.
        s_.prices[std::size_t(i)] = int(v);
        return frame(Ok, hexDigits(v, 4));
    }
    // QVSM: standard counts, kept once stored.
    if (which < '1' || which > '8')
        return refusal(ControllerError::BadParameter, c);
    const int tube = which - '1';
    const std::uint32_t max = tube < 4 ? 99 : 9999;
    if (!parseHex(value, &v) || v > max)
        return refusal(ControllerError::BadParameter, c);
    pending_.tubeStandard[std::size_t(tube)] = int(v);
    return frame(Ok, hexDigits(v, tube < 4 ? 2 : 4));
}

QByteArray ControllerModel::reconciliation(const QByteArray &c)
{
    if (c == "QVER") {
        if (!s_.writeMode)
            return refusal(ControllerError::NotInWriteMode, c);
        if (s_.statusFlags & 0x02)
            return refusal(ControllerError::AutoChangeOff, c);
        // Surplus coins are paid out at once; what is missing stays missing.
        for (int t = 0; t < Controller::Tubes; ++t) {
            auto &current = s_.tubeCurrent[std::size_t(t)];
            current = std::min(current, s_.settings.tubeStandard[std::size_t(t)]);
        }
        s_.reconciliationCounter = (s_.reconciliationCounter + 1) & 0xFFFF;
        reconciling_ = true;
        return frame(Ok, report(payloadWidth(c)));
    }
    if (c == "QVEJ") {
        if (!reconciling_)
            return refusal(ControllerError::NotReconciling, c);
        s_.tubeCurrent = s_.settings.tubeStandard;
        return frame(Ok, report(45));
    }
    reconciling_ = false;   // QVEQ
    return frame(Ok, report(45));
}

QByteArray ControllerModel::report(int width) const
{
    QByteArray r = hexDigits(std::uint32_t(s_.reconciliationCounter) & 0xFFFF, 4) + ','
        + hexDigits(s_.salesTotal, 8);
    for (int t = 0; t < Controller::Tubes; ++t) {
        const int shortage = std::max(0, s_.settings.tubeStandard[std::size_t(t)] - s_.tubeCurrent[std::size_t(t)]);
        const int digits = t < 4 ? 2 : 4;
        const std::uint32_t cap = t < 4 ? 0xFF : 0xFFFF;
        r += ',' + hexDigits(std::min(std::uint32_t(shortage), cap), digits);
    }
    if (width >= 54)
        r += ',' + hexDigits(s_.refundTotal, 8);
    return r;
}
