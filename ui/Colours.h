#pragma once
// Colours of the pages and grids, as RGB triples.
#include <QColor>

namespace Colours {
inline const QColor Sales(177, 216, 170);     // sales page, its tab, the option group
inline const QColor Change(239, 224, 144);    // change page, the auto-change notice
inline const QColor Settings(205, 209, 234);  // settings page, its tab, the I/O group
inline const QColor SalesFixed(124, 185, 120);
inline const QColor TotalFixed(255, 192, 192);
inline const QColor CoinFixed(220, 202, 93);
inline const QColor OptFixed(173, 175, 229);
} // namespace Colours
