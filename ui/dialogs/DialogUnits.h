#pragma once

#include <QRect>
#include <QSize>

// Dialog layouts are given in dialog units: a horizontal unit is a quarter of the dialog
// font's average character width, a vertical unit an eighth of its height. We convert at a
// fixed base per font instead of measuring the font, so a layout has the same pixel size on
// every machine:
//   SimSun 10 pt  7 x 14 pixels    (login)
//   SimSun 9 pt   6 x 12 pixels    (about box)
//   System 10 pt  8 x 16 pixels    (export settings)
struct DialogUnits {
    int baseX;
    int baseY;

    // Rounded to the nearest pixel.
    int x(int units) const { return (units * baseX + 2) / 4; }
    int y(int units) const { return (units * baseY + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }
};

inline constexpr DialogUnits kSimSun10Units{7, 14};
inline constexpr DialogUnits kSimSun9Units{6, 12};
inline constexpr DialogUnits kSystem10Units{8, 16};
