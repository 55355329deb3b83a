#include "device/ValueOrigins.h"

#include "device/StandardCount.h"

#include <QList>
#include <algorithm>

void ValueOrigins::forget()
{
    states_.fill(State::Unknown);
    raw_.fill(std::nullopt);
}

void ValueOrigins::read(Field f, const QByteArray &raw)
{
    states_[f] = State::Read;
    raw_[f] = raw;
}

void ValueOrigins::lost(Field f)
{
    states_[f] = State::Unknown;
    raw_[f].reset();
}

void ValueOrigins::setByOperator(Field f)
{
    // The bytes read stay: a text typed back to what was read still goes
    // out as those bytes.
    states_[f] = State::Operator;
}

std::optional<QByteArray> ValueOrigins::asRead(Field f) const
{
    return raw_[f];
}

QString ValueOrigins::name(Field f)
{
    static const char *const options[6] = {
        "領収書の発行時間", "エラー・警告時／操作時のブザー音", "精算時の端数処理",
        "５円有効／無効", "プリンタ接続", "減算モード",
    };
    if (f <= Option6)
        return QString::fromUtf8(options[f - Option1]);
    if (f <= Line3Text) {
        const int line = (f - Line1X) / 3 + 1;
        const QString name = QStringLiteral("領収書文字%1行目").arg(line);
        switch ((f - Line1X) % 3) {
        case 0: return name + QStringLiteral("の倍率X");
        case 1: return name + QStringLiteral("の倍率Y");
        default: return name;
        }
    }
    if (f == Identification)
        return QStringLiteral("識別文字");
    return StandardCount::dialogTitle(f - StandardCount1);
}

int ValueOrigins::screenRank(Field f)
{
    static const int optionRows[6] = {0, 2, 1, 3, 4, 5};
    if (f <= Option6)
        return optionRows[f - Option1];
    if (f <= Line3Text) {
        const int part = (f - Line1X) % 3;
        return 6 + 3 * ((f - Line1X) / 3) + (part == 2 ? 0 : part + 1);
    }
    return f;   // the identification, then the standard counts, as numbered
}

QStringList ValueOrigins::unknownNames(Field first, Field last) const
{
    QList<Field> fields;
    for (int f = first; f <= last; ++f)
        fields.append(Field(f));
    std::sort(fields.begin(), fields.end(), [](Field a, Field b) { return screenRank(a) < screenRank(b); });
    QStringList names;
    for (Field f : fields) {
        if (known(f))
            continue;
        if (f >= Line1X && f <= Line3Text) {
            // A receipt line known in none of its parts is named once.
            const int line = (f - Line1X) / 3;
            const Field text = ValueOrigins::line(line, 2);
            if (first <= ValueOrigins::line(line, 0) && text <= last && !known(ValueOrigins::line(line, 0))
                && !known(ValueOrigins::line(line, 1)) && !known(text)) {
                if (f == text)
                    names.append(name(text));
                continue;
            }
        }
        names.append(name(f));
    }
    return names;
}
