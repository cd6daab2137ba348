#pragma once

#include <QProxyStyle>

// What Kelvo's trees and menus draw beyond the desktop's style (Fusion on Linux draws
// neither): dotted lines between a tree's items, with boxed plus and minus signs on the items
// that have children; and in menus a plain check mark beside the checked item, with no empty
// box beside the unchecked ones.
class KelvoStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

// The program's one instance, over the desktop's style, made on first use and deleted with
// the application object. Widgets get it through setStyle.
QStyle* kelvoStyle();
