#pragma once
// The window layouts name Windows fonts; here they are drawn with the IPA
// fonts of the same metrics.
#include <QFont>
#include <QString>

void installFontSubstitutions();

// A font of the given face and character height in pixels.
QFont pixelFont(const QString &family, int pixelSize, bool bold = false);

// Face names as the layouts give them.
extern const QString FontMsGothic;   // "ＭＳ ゴシック"
extern const QString FontMsPGothic;  // "ＭＳ Ｐゴシック"
extern const QString FontMsUiGothic; // "MS UI Gothic"
