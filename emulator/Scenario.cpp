#include "emulator/Scenario.h"

#include "link/ShiftJis.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>

namespace {

// Collects the first error; every reader returns false once one is set.
class Reader {
public:
    QString error;

    bool fail(const QString &where, const QString &what)
    {
        if (error.isEmpty())
            error = where + QStringLiteral(": ") + what;
        return false;
    }

    bool checkKeys(const QJsonObject &o, const QString &where, const QSet<QString> &allowed)
    {
        for (auto it = o.begin(); it != o.end(); ++it) {
            if (!allowed.contains(it.key()))
                return fail(where + QLatin1Char('.') + it.key(), QStringLiteral("unknown key"));
        }
        return true;
    }

    bool integer(const QJsonValue &v, const QString &where, qint64 min, qint64 max, qint64 *out)
    {
        if (!v.isDouble())
            return fail(where, QStringLiteral("must be a number"));
        const double d = v.toDouble();
        // The range first: a number beyond it may not fit a 64-bit integer
        // at all, and converting it would be undefined.
        if (!(d >= double(min) && d <= double(max)))
            return fail(where, QStringLiteral("must be from %1 to %2").arg(min).arg(max));
        if (d != double(qint64(d)))
            return fail(where, QStringLiteral("must be a whole number"));
        *out = qint64(d);
        return true;
    }

    template <std::size_t N>
    bool intArray(const QJsonValue &v, const QString &where, qint64 min, qint64 max,
                  std::array<int, N> *out)
    {
        if (!v.isArray())
            return fail(where, QStringLiteral("must be an array"));
        const QJsonArray a = v.toArray();
        if (a.size() > qsizetype(N))
            return fail(where, QStringLiteral("has more than %1 entries").arg(N));
        for (qsizetype i = 0; i < a.size(); ++i) {
            qint64 x;
            if (!integer(a.at(i), where + QStringLiteral("[%1]").arg(i), min, max, &x))
                return false;
            (*out)[std::size_t(i)] = int(x);
        }
        return true;
    }

    bool text(const QJsonValue &v, const QString &where, int maxBytes, QByteArray *out)
    {
        if (!v.isString())
            return fail(where, QStringLiteral("must be a string"));
        bool ok = false;
        const QByteArray bytes = ShiftJis::encode(v.toString(), &ok);
        if (!ok)
            return fail(where, QStringLiteral("cannot be written in code page 932"));
        if (bytes.size() > maxBytes)
            return fail(where, QStringLiteral("is longer than %1 bytes").arg(maxBytes));
        // A zero byte or a CR would end the reply early; no control
        // character belongs in a text the controller sends.
        for (const char c : bytes) {
            if (uchar(c) < 0x20)
                return fail(where, QStringLiteral("must not hold control characters"));
        }
        *out = bytes;
        return true;
    }

    bool flag(const QJsonValue &v, const QString &where, bool *out)
    {
        if (v.isBool()) {
            *out = v.toBool();
            return true;
        }
        qint64 x;
        if (!integer(v, where, 0, 1, &x))
            return false;
        *out = x == 1;
        return true;
    }

    // "hex": "41 FF" or "text": "plain ASCII"; absent: the kind's default.
    bool bytes(const QJsonObject &o, const QString &where, QByteArray *out)
    {
        if (o.contains(QStringLiteral("hex"))) {
            const QJsonValue v = o.value(QStringLiteral("hex"));
            QByteArray digits = v.toString().toLatin1();
            digits.replace(' ', QByteArray());
            if (!v.isString() || digits.size() % 2 != 0
                || QByteArray::fromHex(digits).toHex().toUpper() != digits.toUpper())
                return fail(where + QStringLiteral(".hex"), QStringLiteral("must be pairs of hexadecimal digits"));
            *out = QByteArray::fromHex(digits);
        } else if (o.contains(QStringLiteral("text"))) {
            const QJsonValue v = o.value(QStringLiteral("text"));
            if (!v.isString())
                return fail(where + QStringLiteral(".text"), QStringLiteral("must be a string"));
            *out = v.toString().toLatin1();
        }
        return true;
    }

    bool fault(const QJsonValue &v, const QString &where, FaultRule *rule)
    {
        if (!v.isObject())
            return fail(where, QStringLiteral("must be an object"));
        const QJsonObject o = v.toObject();
        if (!checkKeys(o, where, {"command", "fault", "times", "skip", "number", "status", "keep",
                                  "hex", "text", "delayMs", "reappearMs", "scenario"}))
            return false;
        const QJsonValue command = o.value(QStringLiteral("command"));
        if (!command.isString() || command.toString().isEmpty())
            return fail(where + QStringLiteral(".command"), QStringLiteral("must be a command text"));
        rule->pattern = command.toString().toLatin1();

        const QJsonValue times = o.value(QStringLiteral("times"));
        if (times.isString()) {
            if (times.toString() != QStringLiteral("always"))
                return fail(where + QStringLiteral(".times"), QStringLiteral("must be a number or \"always\""));
            rule->times = -1;
        } else if (!times.isUndefined()) {
            qint64 n;
            if (!integer(times, where + QStringLiteral(".times"), 1, 1000000, &n))
                return false;
            rule->times = int(n);
        }
        if (o.contains(QStringLiteral("skip"))) {
            qint64 n;
            if (!integer(o.value(QStringLiteral("skip")), where + QStringLiteral(".skip"), 0, 1000000, &n))
                return false;
            rule->skip = int(n);
        }

        Fault &f = rule->fault;
        const QString kind = o.value(QStringLiteral("fault")).toString();
        static const QHash<QString, QByteArray> busy = {
            {"rbusy", "RBUSY:"}, {"bbusy", "BBUSY:"}, {"ebusy", "EBUSY:"}};
        if (busy.contains(kind)) {
            f.kind = Fault::Status;
            f.status = busy.value(kind);
        } else if (kind == QLatin1String("error")) {
            f.kind = Fault::Status;
            const QJsonValue n = o.value(QStringLiteral("number"));
            if (n.isString() && n.toString().toLatin1().size() == 2) {
                f.status = "ERR" + n.toString().toLatin1() + ':';   // may be non-numeric on purpose
            } else {
                qint64 x;
                if (!integer(n, where + QStringLiteral(".number"), 0, 99, &x))
                    return false;
                f.status = ControllerModel::errorStatus(int(x));
            }
        } else if (kind == QLatin1String("silence")) {
            f.kind = Fault::Silence;
        } else if (kind == QLatin1String("truncate")) {
            f.kind = Fault::Truncate;
            if (o.contains(QStringLiteral("keep"))) {
                qint64 x;
                if (!integer(o.value(QStringLiteral("keep")), where + QStringLiteral(".keep"), 0, 255, &x))
                    return false;
                f.keep = int(x);
            }
        } else if (kind == QLatin1String("garble")) {
            f.kind = Fault::Garble;
            f.status = "NG   :";
            if (o.contains(QStringLiteral("status"))) {
                const QByteArray s = o.value(QStringLiteral("status")).toString().toLatin1();
                if (s.size() != 6)
                    return fail(where + QStringLiteral(".status"), QStringLiteral("must be six characters"));
                f.status = s;
            }
        } else if (kind == QLatin1String("overlong")) {
            f.kind = Fault::Overlong;
        } else if (kind == QLatin1String("lf")) {
            f.kind = Fault::LineFeed;
        } else if (kind == QLatin1String("crlf")) {
            f.kind = Fault::CrLf;
        } else if (kind == QLatin1String("twice")) {
            f.kind = Fault::Twice;
        } else if (kind == QLatin1String("late")) {
            f.kind = Fault::Late;
            f.delayMs = Fault::DefaultLateMs;
        } else if (kind == QLatin1String("noise")) {
            f.kind = Fault::Noise;
            f.delayMs = Fault::DefaultNoiseDelayMs;
        } else if (kind == QLatin1String("invalid-text")) {
            f.kind = Fault::InvalidText;
        } else if (kind == QLatin1String("vanish")) {
            f.kind = Fault::Vanish;
            if (o.contains(QStringLiteral("reappearMs"))) {
                qint64 x;
                if (!integer(o.value(QStringLiteral("reappearMs")), where + QStringLiteral(".reappearMs"), 0, 3600000, &x))
                    return false;
                f.reappearMs = int(x);
            }
        } else if (kind == QLatin1String("swap")) {
            f.kind = Fault::Swap;
            f.delayMs = 3000;
            const QJsonValue next = o.value(QStringLiteral("scenario"));
            if (!next.isObject())
                return fail(where + QStringLiteral(".scenario"), QStringLiteral("must be a scenario object"));
            Scenario other;
            QString why;
            if (!Scenario::fromJson(QJsonDocument(next.toObject()).toJson(), &other, &why))
                return fail(where + QStringLiteral(".scenario"), why);
            f.next = std::make_shared<const ControllerState>(other.state);
        } else {
            return fail(where + QStringLiteral(".fault"), QStringLiteral("unknown fault \"%1\"").arg(kind));
        }
        if (o.contains(QStringLiteral("delayMs"))) {
            qint64 x;
            if (!integer(o.value(QStringLiteral("delayMs")), where + QStringLiteral(".delayMs"), 0, 600000, &x))
                return false;
            f.delayMs = int(x);
        }
        f.bytes = Fault::defaultBytes(f.kind);
        return bytes(o, where, &f.bytes);
    }
};

} // namespace

bool Scenario::fromJson(const QByteArray &json, Scenario *out, QString *error)
{
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (error) {
            *error = parseError.error != QJsonParseError::NoError
                ? QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset)
                : QStringLiteral("the scenario must be a JSON object");
        }
        return false;
    }
    const QJsonObject o = doc.object();
    Reader r;
    Scenario sc;
    ControllerState &s = sc.state;
    qint64 x = 0;

    bool ok = r.checkKeys(o, QStringLiteral("scenario"),
                          {"version", "statusFlags", "prices", "counts", "salesTotal", "earnValueC",
                           "coinReplyValue", "coinReplyTail", "options", "receipt", "id", "tubes",
                           "inputs", "writeMode", "clearKeepsTotal", "reconciliationCounter", "refundTotal",
                           "restartMs", "simulateSales", "faults"});
    auto has = [&](const char *key) { return ok && o.contains(QLatin1String(key)); };
    auto value = [&](const char *key) { return o.value(QLatin1String(key)); };

    if (has("version")) {
        ok = r.text(value("version"), "version", 99, &s.versionText);
    }
    if (has("statusFlags") && (ok = r.integer(value("statusFlags"), "statusFlags", 0, 255, &x)))
        s.statusFlags = int(x);
    if (has("prices"))
        ok = r.intArray(value("prices"), "prices", 0, Controller::MaxPrice, &s.prices);
    if (has("counts"))
        ok = r.intArray(value("counts"), "counts", 0, 0xFFFF, &s.counts);
    if (has("salesTotal") && (ok = r.integer(value("salesTotal"), "salesTotal", 0, 0xFFFFFFFFLL, &x)))
        s.salesTotal = std::uint32_t(x);
    if (has("earnValueC") && (ok = r.integer(value("earnValueC"), "earnValueC", 0, 0xFFFF, &x)))
        s.earnValueC = int(x);
    if (has("coinReplyValue") && (ok = r.integer(value("coinReplyValue"), "coinReplyValue", 0, 0xFFFF, &x)))
        s.coinReplyValue = int(x);
    if (has("coinReplyTail")) {
        const QJsonValue v = value("coinReplyTail");
        const QByteArray tail = v.toString().toLatin1();
        const bool printable = std::all_of(tail.begin(), tail.end(), [](char c) { return uchar(c) >= 0x20; });
        if (!v.isString() || tail.size() != 15 || !printable)
            ok = r.fail("coinReplyTail", "must be 15 characters");
        else
            s.coinReplyTail = tail;
    }
    if (has("options")) {
        ok = r.intArray(value("options"), "options", 0, 255, &s.settings.options);
        for (int k = 0; ok && k < Controller::Options; ++k) {
            if (s.settings.options[std::size_t(k)] >= ControllerModel::OptionItems[k])
                ok = r.fail(QStringLiteral("options[%1]").arg(k),
                            QStringLiteral("must be below %1").arg(ControllerModel::OptionItems[k]));
        }
    }
    if (has("receipt")) {
        const QJsonValue v = value("receipt");
        const QJsonArray lines = v.toArray();
        if (!v.isArray() || lines.size() > Controller::ReceiptLines)
            ok = r.fail("receipt", "must be an array of at most 3 lines");
        for (qsizetype i = 0; ok && i < lines.size(); ++i) {
            const QString where = QStringLiteral("receipt[%1]").arg(i);
            const QJsonObject line = lines.at(i).toObject();
            ReceiptLine &dst = s.settings.receipt[std::size_t(i)];
            ok = lines.at(i).isObject() ? r.checkKeys(line, where, {"x", "y", "text"})
                                        : r.fail(where, "must be an object");
            if (ok && line.contains(QLatin1String("x")) && (ok = r.integer(line.value("x"), where + ".x", 1, 4, &x)))
                dst.x = int(x);
            if (ok && line.contains(QLatin1String("y")) && (ok = r.integer(line.value("y"), where + ".y", 1, 4, &x)))
                dst.y = int(x);
            if (ok && line.contains(QLatin1String("text")))
                ok = r.text(line.value("text"), where + ".text", Controller::ReceiptTextMax, &dst.text);
        }
    }
    if (has("id"))
        ok = r.text(value("id"), "id", Controller::IdTextMax, &s.settings.idText);
    if (has("tubes")) {
        const QJsonObject t = value("tubes").toObject();
        ok = value("tubes").isObject() ? r.checkKeys(t, "tubes", {"standard", "current"})
                                       : r.fail("tubes", "must be an object");
        if (ok && t.contains(QLatin1String("standard")))
            ok = r.intArray(t.value("standard"), "tubes.standard", 0, 9999, &s.settings.tubeStandard);
        if (ok && t.contains(QLatin1String("current")))
            ok = r.intArray(t.value("current"), "tubes.current", 0, 9999, &s.tubeCurrent);
    }
    if (has("inputs")) {
        const QJsonArray a = value("inputs").toArray();
        if (!value("inputs").isArray() || a.size() > Controller::Inputs)
            ok = r.fail("inputs", "must be an array of at most 20 flags");
        for (qsizetype i = 0; ok && i < a.size(); ++i) {
            bool on = false;
            ok = r.flag(a.at(i), QStringLiteral("inputs[%1]").arg(i), &on);
            s.inputs[std::size_t(i)] = on;
        }
    }
    if (has("writeMode"))
        ok = r.flag(value("writeMode"), "writeMode", &s.writeMode);
    if (has("clearKeepsTotal"))
        ok = r.flag(value("clearKeepsTotal"), "clearKeepsTotal", &s.clearKeepsTotal);
    if (has("reconciliationCounter")
        && (ok = r.integer(value("reconciliationCounter"), "reconciliationCounter", 0, 0xFFFF, &x)))
        s.reconciliationCounter = int(x);
    if (has("refundTotal") && (ok = r.integer(value("refundTotal"), "refundTotal", 0, 0xFFFFFFFFLL, &x)))
        s.refundTotal = std::uint32_t(x);
    if (has("restartMs") && (ok = r.integer(value("restartMs"), "restartMs", 0, 600000, &x)))
        sc.restartMs = int(x);
    if (has("simulateSales")) {
        const QJsonValue v = value("simulateSales");
        if (v.isBool()) {
            sc.sales.enabled = v.toBool();
        } else if (v.isObject()) {
            const QJsonObject so = v.toObject();
            sc.sales.enabled = true;
            ok = r.checkKeys(so, "simulateSales", {"enabled", "minIntervalMs", "maxIntervalMs", "seed"});
            if (ok && so.contains(QLatin1String("enabled")))
                ok = r.flag(so.value("enabled"), "simulateSales.enabled", &sc.sales.enabled);
            if (ok && so.contains(QLatin1String("minIntervalMs"))
                && (ok = r.integer(so.value("minIntervalMs"), "simulateSales.minIntervalMs", 1, 3600000, &x)))
                sc.sales.minIntervalMs = int(x);
            if (ok && so.contains(QLatin1String("maxIntervalMs"))
                && (ok = r.integer(so.value("maxIntervalMs"), "simulateSales.maxIntervalMs", 1, 3600000, &x)))
                sc.sales.maxIntervalMs = int(x);
            if (ok && sc.sales.maxIntervalMs < sc.sales.minIntervalMs)
                ok = r.fail("simulateSales.maxIntervalMs", "must not be below minIntervalMs");
            if (ok && so.contains(QLatin1String("seed"))
                && (ok = r.integer(so.value("seed"), "simulateSales.seed", 0, 0xFFFFFFFFLL, &x)))
                sc.sales.seed = unsigned(x);
        } else {
            ok = r.fail("simulateSales", "must be true, false or an object");
        }
    }
    if (has("faults")) {
        const QJsonArray a = value("faults").toArray();
        if (!value("faults").isArray())
            ok = r.fail("faults", "must be an array");
        for (qsizetype i = 0; ok && i < a.size(); ++i) {
            FaultRule rule;
            ok = r.fault(a.at(i), QStringLiteral("faults[%1]").arg(i), &rule);
            if (ok)
                sc.faults.add(rule);
        }
    }
    if (!ok) {
        if (error)
            *error = r.error;
        return false;
    }
    *out = sc;
    return true;
}

bool Scenario::fromFile(const QString &path, Scenario *out, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = path + QStringLiteral(": ") + f.errorString();
        return false;
    }
    QString why;
    if (!fromJson(f.readAll(), out, &why)) {
        if (error)
            *error = path + QStringLiteral(": ") + why;
        return false;
    }
    return true;
}
