#include "ui/Fonts.h"

#include <QStringList>

const QString FontMsGothic = QStringLiteral("ＭＳ ゴシック");
const QString FontMsPGothic = QStringLiteral("ＭＳ Ｐゴシック");
const QString FontMsUiGothic = QStringLiteral("MS UI Gothic");

void installFontSubstitutions()
{
    const QStringList gothic = {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック")};
    const QStringList pgothic = {QStringLiteral("IPAPGothic"), QStringLiteral("IPAPゴシック")};
    for (const QString &name : {FontMsGothic, QStringLiteral("MS Gothic"), QStringLiteral("ＭＳゴシック")})
        QFont::insertSubstitutions(name, gothic);
    for (const QString &name : {FontMsPGothic, QStringLiteral("MS PGothic"), FontMsUiGothic})
        QFont::insertSubstitutions(name, pgothic);
}

QFont pixelFont(const QString &family, int pixelSize, bool bold)
{
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}
