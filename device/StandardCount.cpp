#include "device/StandardCount.h"
#include "device/DeviceData.h"

#include "device/OperationHost.h"
#include "device/ValueFormats.h"
#include "device/ValueOrigins.h"
#include "link/DeviceLink.h"

namespace StandardCount {

namespace {

bool isAutomatic(int tube) { return tube >= 0 && tube < 4; }

const char *const TubeNames[TubeCount] = {
    "自動補充チューブ10円", "自動補充チューブ50円",
    "自動補充チューブ100円", "自動補充チューブ500円",
    "手動補充チューブ10円", "手動補充チューブ50円",
    "手動補充チューブ100円", "手動補充チューブ500円",
};

const char *const HintSuffixes[TubeCount] = {
    ",99 ]", ",99 ]", ",99 ]", ",99 ]",
    ",9999 ]", ",999 ]", ",999 ]", ",999 ]",
};

} // namespace

int maxFor(int tube)
{
    return isAutomatic(tube) ? 99 : 9999;
}

QString dialogTitle(int tube)
{
    return QString::fromUtf8(TubeNames[tube & 7]);
}

QString dialogHint(int tube, std::int32_t settableMax)
{
    return QStringLiteral("基準枚数 [ 0 ～ ") + QString::number(settableMax)
        + QString::fromUtf8(HintSuffixes[tube & 7]);
}

std::optional<std::int32_t> parseEntry(const QString &text)
{
    // Leading blanks are tolerated, trailing ones are not, as the integer
    // conversion of the entry has always behaved.
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    int base = 10;
    if (text.mid(i, 2).compare(QStringLiteral("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (i < text.size() && text.at(i) == u'$') {
        base = 16;
        i += 1;
    }
    if (i >= text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        int d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
        else
            return std::nullopt;
        value = value * base + d;
        // Hexadecimal may use the full 32 bits, decimal only the signed range.
        if (value > (base == 16 ? qint64(0xFFFFFFFF) : qint64(0x80000000)))
            return std::nullopt;
    }
    // Eight hexadecimal digits may stand for a negative number (FFFFFFFF
    // is -1); behind a minus sign they are a magnitude, never wrapped first,
    // so -0xFFFFFFFF stays far below the 32-bit range instead of turning 1.
    if (negative)
        value = -value;
    else if (base == 16)
        value = std::int32_t(std::uint32_t(value));
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return std::int32_t(value);
}

std::optional<std::int32_t> validate(int tube, const QString &text)
{
    // An entry that is not a number is refused on every tube; it is never
    // replaced by some default that a manual tube would accept.
    const auto value = parseEntry(text);
    if (!value || *value < 0 || *value > maxFor(tube))
        return std::nullopt;
    return value;
}

QByteArray command(int tube, std::int32_t count)
{
    return QByteArray("QVSM") + char('1' + tube) + '='
        + ValueFormats::hexDigits(std::uint32_t(count), isAutomatic(tube) ? 2 : 4);
}

int replyLength(int tube)
{
    return isAutomatic(tube) ? 2 : 4;
}

QString unsetCountsText(const QStringList &names)
{
    return QStringLiteral("次のチューブの基準枚数がまだ入力されていないため,送信しませんでした.\n・")
        + names.join(QStringLiteral("\n・"))
        + QStringLiteral("\n全てのチューブの基準枚数を入力してから,もう一度実行して下さい.");
}

bool write(DeviceLink &link, OperationHost &host, const DeviceData &data,
           const ValueOrigins &origins, WriteProof::SentSettings *sent)
{
    // A count never entered would overwrite the controller's own with 0.
    const QStringList unset =
        origins.unknownNames(ValueOrigins::StandardCount1, ValueOrigins::StandardCount8);
    if (!unset.isEmpty()) {
        host.reportError(unsetCountsText(unset));
        return false;
    }
    if (!host.confirm(QStringLiteral(
            "設定値を書き込み,QUVOを再起動します.\n"
            "QUVOとは一旦切断されますので,再起動後に接続し直して下さい.\n"
            "実行してもよろしいですか？")))
        return false;
    if (!host.stillSameController())
        return false;
    // Counts half sent, or stored without the restart that applies them,
    // would leave the controller worse off than finishing: a cancel waits.
    const DeviceLink::CancelHold untilRestart(link);
    host.writeModeOpening();
    const bool opened = link.Transact("QVU1", 2).status == StatusOk;
    bool taken[TubeCount] = {};
    for (int t = 0; t < TubeCount; ++t) {
        taken[t] = link.Transact(command(t, data.TubeStandardCount(t)), replyLength(t)).status
            == StatusOk;
    }
    // Store, then restart; the controller goes away, so the second restart
    // command waits for no payload. No closing "QVU0": the restart ends the
    // write state.
    const bool stored = link.Transact("QVW", 3).status == StatusOk;
    if (sent) {
        sent->clear();
        for (int t = 0; t < TubeCount; ++t) {
            const QByteArray text = command(t, data.TubeStandardCount(t));
            sent->append({ValueOrigins::standardCount(t), text.mid(6), opened && taken[t] && stored});
        }
    }
    const bool restarted = link.Transact("QVF", 3).heard() || link.answeredLate();
    link.Transact("QVF", 0);
    // A restart nobody heard may leave write mode open: "QVU0" then.
    host.writeModeEnded(restarted ? WriteModeEnd::Restarted : WriteMode::close(link, false), {});
    host.disconnectController();
    return true;
}

} // namespace StandardCount
