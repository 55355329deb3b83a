#include "ui/Fonts.h"

#include <QFont>
#include <QString>

void InstallFontSubstitutions()
{
    const QString mono = QStringLiteral("IPAGothic");
    const QString proportional = QStringLiteral("IPAPGothic");
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), mono);
    QFont::insertSubstitution(QStringLiteral("MS Gothic"), mono);
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), proportional);
    QFont::insertSubstitution(QStringLiteral("MS PGothic"), proportional);
    QFont::insertSubstitution(QStringLiteral("MS UI Gothic"), proportional);
}
