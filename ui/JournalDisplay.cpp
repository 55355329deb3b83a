#include "ui/JournalDisplay.h"

#include "journal/JournalEvent.h"

#include "device/ValueFormats.h"

#include <QRegularExpression>

namespace JournalDisplay {

namespace {

// "count12" -> 11 for prefix "count"; -1 for anything else.
int indexAfter(const QString &name, QLatin1String prefix, int count)
{
    if (!name.startsWith(prefix))
        return -1;
    bool ok = false;
    const int n = name.mid(prefix.size()).toInt(&ok);
    return ok && n >= 1 && n <= count ? n - 1 : -1;
}

const QStringList TubeNames = {QStringLiteral("自動補充チューブ10円硬貨"), QStringLiteral("自動補充チューブ50円硬貨"),
                               QStringLiteral("自動補充チューブ100円硬貨"), QStringLiteral("自動補充チューブ500円硬貨"),
                               QStringLiteral("手動補充チューブ10円硬貨"), QStringLiteral("手動補充チューブ50円硬貨"),
                               QStringLiteral("手動補充チューブ100円硬貨"), QStringLiteral("手動補充チューブ500円硬貨")};

} // namespace

QString itemName(const QString &name, const Options &options)
{
    int i;
    if ((i = indexAfter(name, QLatin1String("count"), 16)) >= 0)
        return QStringLiteral("コラム%1枚数").arg(i + 1);
    if ((i = indexAfter(name, QLatin1String("price"), 16)) >= 0)
        return QStringLiteral("コラム%1価格").arg(i + 1);
    if ((i = indexAfter(name, QLatin1String("option"), 6)) >= 0)
        return i < options.size() ? options[i].label : QStringLiteral("オプション%1").arg(i + 1);
    if ((i = indexAfter(name, QLatin1String("line"), 3)) >= 0)
        return QStringLiteral("領収書文字%1行目").arg(i + 1);
    if ((i = indexAfter(name, QLatin1String("standard-count"), 8)) >= 0)
        return TubeNames[i] + QStringLiteral("の基準枚数");
    static const QList<QPair<QString, QString>> fixed = {
        {QStringLiteral("total"), QStringLiteral("総売上(円)")},
        {QStringLiteral("identification"), QStringLiteral("識別文字")},
        {QStringLiteral("status"), QStringLiteral("状態")},
        {QStringLiteral("earn-c"), QStringLiteral("精算額")},
        {QStringLiteral("coin-reply"), QStringLiteral("硬貨の応答値")},
        {QStringLiteral("firmware-version"), QStringLiteral("ファームウェアの版")},
        {QStringLiteral("missed"), QStringLiteral("記録できなかった件数")},
        {QStringLiteral("since"), QStringLiteral("記録できなくなった時刻")},
    };
    for (const auto &[key, text] : fixed)
        if (name == key)
            return text;
    return name;
}

QString itemValue(const QString &name, const QVariant &value, const Options &options)
{
    if (value.isNull() || !value.isValid())
        return QStringLiteral("—");
    int i;
    if ((i = indexAfter(name, QLatin1String("price"), 16)) >= 0)
        return ValueFormats::priceText(i, std::int32_t(value.toLongLong())).trimmed();
    if ((i = indexAfter(name, QLatin1String("option"), 6)) >= 0 && value.typeId() != QMetaType::QString) {
        const qint64 n = value.toLongLong();
        if (i < options.size() && n >= 0 && n < options[i].items.size())
            return options[i].items[int(n)];
        return QString::number(n);
    }
    if (indexAfter(name, QLatin1String("line"), 3) >= 0) {
        // X digit, Y digit, then the text, as the controller holds it.
        const QString line = value.toString();
        if (line.size() < 2)
            return line;
        return QStringLiteral("%1 (倍率 横%2 縦%3)").arg(line.mid(2), line.mid(0, 1), line.mid(1, 1));
    }
    if (name == QLatin1String("since"))
        return time(value.toString());
    return value.toString();
}

QString time(const QString &iso)
{
    // The local time as it was recorded, with the offset it was recorded at.
    static const QRegularExpression form(
        QStringLiteral("^(\\d{4})-(\\d\\d)-(\\d\\d)T(\\d\\d:\\d\\d:\\d\\d)([+-]\\d\\d:\\d\\d|Z)?$"));
    const QRegularExpressionMatch m = form.match(iso);
    if (!m.hasMatch())
        return iso;
    QString text = QStringLiteral("%1/%2/%3 %4").arg(m.captured(1), m.captured(2), m.captured(3), m.captured(4));
    if (!m.captured(5).isEmpty())
        text += QStringLiteral(" (%1)").arg(m.captured(5) == QLatin1String("Z") ? QStringLiteral("+00:00")
                                                                                : m.captured(5));
    return text;
}

QString kindText(const QString &kind)
{
    if (kind == JournalKind::Reading)
        return QStringLiteral("読み取り");
    if (kind == JournalKind::CounterClear)
        return QStringLiteral("カウンタクリア");
    if (kind == JournalKind::Price)
        return QStringLiteral("価格");
    if (kind == JournalKind::Settings)
        return QStringLiteral("設定");
    if (kind == JournalKind::StandardCount)
        return QStringLiteral("基準枚数");
    if (kind == JournalKind::Gap)
        return QStringLiteral("記録の欠け");
    if (kind == JournalKind::WriteMode)
        return QStringLiteral("書き込みモード");
    if (kind == JournalKind::VisitMoved)
        return QStringLiteral("訪問の移動");
    return kind;
}

QStringList wrapNotes(qint64 inferred, qint64 possible)
{
    QStringList notes;
    if (inferred > 0)
        notes << (inferred == 1 ? QStringLiteral("65536枚を売上から推定")
                                : QStringLiteral("65536枚×%1を売上から推定").arg(inferred));
    if (possible > 0)
        notes << (possible == 1 ? QStringLiteral("+65536枚の可能性")
                                : QStringLiteral("+65536枚×%1の可能性").arg(possible));
    return notes;
}

QString yen(qint64 tenths)
{
    const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
    const qint64 size = tenths < 0 ? -tenths : tenths;
    return size % 10 == 0 ? sign + QString::number(size / 10)
                          : QStringLiteral("%1%2.%3").arg(sign).arg(size / 10).arg(size % 10);
}

} // namespace JournalDisplay
