#include "device/WriteProof.h"

#include "device/ValueFormats.h"
#include "link/ShiftJis.h"

#include <algorithm>

namespace WriteProof {

namespace {

QString lineText(const QByteArray &value)
{
    return QStringLiteral("倍率X%1 Y%2 「%3」")
        .arg(QString::fromLatin1(value.mid(0, 1)), QString::fromLatin1(value.mid(1, 1)),
             ShiftJis::decode(value.mid(2)));
}

} // namespace

QString differencesText(const QString &heading, const QList<Difference> &rows, const QString &advice)
{
    QString text = heading + u'\n';
    for (const Difference &d : rows)
        text += QStringLiteral("・%1: %2 %3 → 現在値 %4\n").arg(d.name, d.sentLabel, d.sent, d.reported);
    return text + advice;
}

QString unreadMarker()
{
    return QStringLiteral("(読み込めませんでした)");
}

std::optional<QString> priceNotTaken(int row, std::int32_t sent, std::int32_t reported, bool reportedRead)
{
    const QString column = QStringLiteral("コラム%1").arg(row + 1);
    if (!reportedRead)
        return differencesText(QStringLiteral("設定価格がQUVOに反映されたか確認できませんでした."),
                               {{column, ValueFormats::priceText(row, sent), unreadMarker()}},
                               QStringLiteral("接続し直して価格を確かめて下さい."));
    if (reported == sent)
        return std::nullopt;
    return differencesText(QStringLiteral("設定価格がQUVOに反映されていません."),
                           {{column, ValueFormats::priceText(row, sent), ValueFormats::priceText(row, reported)}},
                           QStringLiteral("もう一度設定して下さい."));
}

ClearVerdict clearVerdict(const ClearFigures &before, const ClearFigures &after,
                          const std::array<std::optional<qint64>, 16> &priceTenths, bool byMoneyOnly)
{
    // The money taken between the two reads, whole yen; unknown: none is
    // assumed, and every count must have fallen to 0.
    // A total below the one before was cleared with the counts, or passed
    // 2^32 on a controller that keeps it: the more it can have taken.
    std::optional<qint64> money;
    if (before.total && after.total) {
        constexpr qint64 TotalSpan = qint64(1) << 32;
        if (*after.total >= *before.total) {
            money = *after.total - *before.total;
        } else {
            const qint64 wrapped = *after.total + TotalSpan - *before.total;
            money = wrapped < TotalSpan / 2 ? std::max(*after.total, wrapped) : *after.total;
        }
    }
    // A column whose count before was above what the money could buy
    // decides: it must now read at most that. Without any such column, the
    // counts can only show the clear by having fallen.
    ClearVerdict decisive;
    ClearVerdict fallen;
    bool anyDecisive = false;
    for (int c = 0; c < 16; ++c) {
        const std::optional<qint64> &was = before.counts[std::size_t(c)];
        if (!was || *was == 0)
            continue;
        const std::optional<qint64> &price = priceTenths[std::size_t(c)];
        const std::optional<qint64> &now = after.counts[std::size_t(c)];
        if (!now)
            fallen.unread << c;
        else if (*now >= *was)
            fallen.stayed << c;
        // A price unknown or 0: the money says nothing of its pieces.
        if (!price || *price <= 0)
            continue;
        // The total counts whole yen and keeps up to nine tenths inside.
        const qint64 couldSell = money ? (*money * 10 + 9) / *price : 0;
        if (*was <= couldSell)
            continue;
        anyDecisive = true;
        if (!now)
            decisive.unread << c;
        else if (*now > couldSell)
            decisive.stayed << c;
    }
    ClearVerdict verdict = anyDecisive || byMoneyOnly ? decisive : fallen;
    // A clear refused: the columns the money says nothing of, whose counts
    // did not fall either, are named with the rest.
    if (verdict.refused() && verdict.stayed != fallen.stayed) {
        for (int c : fallen.stayed) {
            const std::optional<qint64> &price = priceTenths[std::size_t(c)];
            if ((!price || *price <= 0) && !verdict.stayed.contains(c))
                verdict.stayed << c;
        }
        std::sort(verdict.stayed.begin(), verdict.stayed.end());
    }
    return verdict;
}

std::optional<QString> countersNotCleared(const std::optional<ClearFigures> &before, const ClearFigures &after,
                                          const std::array<std::optional<qint64>, 16> &priceTenths)
{
    // Without the figures before, each count read counts as one that was
    // there, and the total as wholly taken since (a controller that clears it).
    ClearFigures was;
    if (before) {
        was = *before;
    } else {
        for (int c = 0; c < 16; ++c)
            was.counts[std::size_t(c)] = after.counts[std::size_t(c)].value_or(65535);
        was.total = after.total ? std::optional<qint64>(*after.total + 1) : std::nullopt;
    }
    const ClearVerdict verdict = clearVerdict(was, after, priceTenths, !before);
    if (verdict.taken())
        return std::nullopt;
    const QString label = before ? QStringLiteral("クリア前") : QStringLiteral("期待値");
    const auto row = [&](int c) {
        const QString name = QStringLiteral("コラム%1枚数").arg(c + 1);
        const QString then = before ? QString::number(*was.counts[std::size_t(c)]) : QStringLiteral("0");
        const std::optional<qint64> &now = after.counts[std::size_t(c)];
        return Difference{name, then, now ? QString::number(*now) : unreadMarker(), label};
    };
    QList<Difference> rows;
    for (int c = 0; c < 16; ++c)
        if (verdict.stayed.contains(c) || verdict.unread.contains(c))
            rows << row(c);
    if (verdict.refused())
        return differencesText(QStringLiteral("カウンタのクリアがQUVOに反映されていません."), rows,
                               QStringLiteral("もう一度カウンタクリアを実行して下さい."));
    return differencesText(QStringLiteral("カウンタのクリアがQUVOに反映されたか確認できませんでした."), rows,
                           QStringLiteral("接続し直して枚数を確かめて下さい."));
}

std::optional<QString> settingsNotTaken(const SentSettings &sentSettings, const ValueOrigins &origins,
                                        const std::function<QString(int option, int value)> &optionText,
                                        const QString &controller)
{
    using F = ValueOrigins;
    const QString unread = unreadMarker();
    SentSettings sent = sentSettings;
    std::stable_sort(sent.begin(), sent.end(), [](const SentSetting &a, const SentSetting &b) {
        return F::screenRank(a.field) < F::screenRank(b.field);
    });
    QList<Difference> rows;
    for (const SentSetting &s : sent) {
        const QString name = F::name(s.field);
        if (s.field >= F::StandardCount1) {
            // No read reports a standard count: only the controller's answers
            // to the write itself can vouch for it.
            if (!s.acknowledged)
                rows.append({name + QStringLiteral("の基準枚数"),
                             QString::number(ValueFormats::hexValue(s.value)),
                             QStringLiteral("(受け付けを確認できませんでした)")});
            continue;
        }
        if (s.field <= F::Option6) {
            const int k = s.field - F::Option1;
            const auto show = [&](const QByteArray &v) {
                const int value = ValueFormats::hexValue(v);
                const QString item = optionText ? optionText(k, value) : QString();
                return item.isEmpty() ? QString::fromLatin1(v) : item;
            };
            const std::optional<QByteArray> now = origins.asRead(s.field);
            if (!now)
                rows.append({name, show(s.value), unread});
            else if (ValueFormats::hexValue(*now) != ValueFormats::hexValue(s.value))
                rows.append({name, show(s.value), show(*now)});
            continue;
        }
        if (s.field == F::Identification) {
            const std::optional<QByteArray> now = origins.asRead(s.field);
            const auto show = [](const QByteArray &v) { return QStringLiteral("「%1」").arg(ShiftJis::decode(v)); };
            if (!now)
                rows.append({name, show(s.value), unread});
            else if (*now != s.value)
                rows.append({name, show(s.value), show(*now)});
            continue;
        }
        // A whole receipt line: both digits and the text as read.
        const int line = (s.field - F::Line1X) / 3;
        const std::optional<QByteArray> x = origins.asRead(F::line(line, 0));
        const std::optional<QByteArray> y = origins.asRead(F::line(line, 1));
        const std::optional<QByteArray> text = origins.asRead(F::line(line, 2));
        if (!x || !y || !text)
            rows.append({name, lineText(s.value), unread});
        else if (*x + *y + *text != s.value)
            rows.append({name, lineText(s.value), lineText(*x + *y + *text)});
    }
    if (rows.isEmpty())
        return std::nullopt;
    // A value the reconnection could not read or have acknowledged is not
    // called refused: the heading says what is known.
    const qsizetype unconfirmed = std::count_if(rows.begin(), rows.end(), [&](const Difference &d) {
        return d.reported == unread || d.reported.startsWith(QStringLiteral("(受け付けを"));
    });
    QString heading = unconfirmed == 0 ? QStringLiteral("前回の書き込みで,次の設定値がQUVOに反映されていません.")
        : unconfirmed == rows.size()
        ? QStringLiteral("前回の書き込みで,次の設定値がQUVOに反映されたか確認できませんでした.")
        : QStringLiteral("前回の書き込みで,次の設定値がQUVOに反映されていないか,反映を確認できませんでした.");
    if (!controller.isEmpty())
        heading += QStringLiteral("\n書き込み先: QUVO") + controller;
    return differencesText(heading, rows, QStringLiteral("設定し直して,もう一度送信して下さい."));
}

bool concerns(const ControllerIdentity &writtenTo, const SentSettings &sent, const ControllerIdentity &now)
{
    if (!writtenTo.known() || !now.known() || writtenTo.version != now.version)
        return false;
    if (now.identification == writtenTo.identification)
        return true;
    return std::any_of(sent.begin(), sent.end(), [&](const SentSetting &s) {
        return s.field == ValueOrigins::Identification && s.value == now.identification;
    });
}

} // namespace WriteProof
