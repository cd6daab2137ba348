#include "ui/framework/KelvoStyle.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>
#include <QTreeView>
#include <algorithm>

namespace {

constexpr int kExpandBox = 9;  // pixels, the square around the plus or minus sign

// One column of a tree row left of an item's text. `State_Item`: the item sits in this
// column; `State_Sibling`: an item below continues the line; `State_Children`: the item can
// be expanded (`State_Open`: it is).
void drawBranch(const QStyleOption& option, QPainter& painter, const QWidget* widget) {
    const QRect r = option.rect;
    const int midX = r.left() + r.width() / 2;
    const int midY = r.top() + r.height() / 2;
    // Every other pixel, on a pattern anchored to the widget, so the dots of one row meet
    // those of the next.
    const QBrush dots(option.palette.color(QPalette::Dark), Qt::Dense4Pattern);
    const bool item = option.state & QStyle::State_Item;
    const bool sibling = option.state & QStyle::State_Sibling;
    // The line at the root starts at the first item; nothing leads into it from above.
    bool firstAtRoot = false;
    if (auto* tree = qobject_cast<const QTreeView*>(widget); tree && item) {
        const QModelIndex index = tree->indexAt(QPoint(midX, midY));
        firstAtRoot = index.isValid() && !index.parent().isValid() && index.row() == 0;
    }
    if ((item || sibling) && !firstAtRoot)
        painter.fillRect(QRect(midX, r.top(), 1, midY - r.top()), dots);
    if (sibling) painter.fillRect(QRect(midX, midY, 1, r.bottom() - midY + 1), dots);
    if (item) {
        if (option.direction == Qt::RightToLeft)
            painter.fillRect(QRect(r.left(), midY, midX - r.left(), 1), dots);
        else
            painter.fillRect(QRect(midX + 1, midY, r.right() - midX, 1), dots);
    }
    if (!(option.state & QStyle::State_Children)) return;

    const QRect box(midX - kExpandBox / 2, midY - kExpandBox / 2, kExpandBox, kExpandBox);
    painter.fillRect(box, option.palette.color(QPalette::Base));
    painter.setPen(option.palette.color(QPalette::Dark));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(option.palette.color(QPalette::Text));
    painter.drawLine(box.left() + 2, midY, box.right() - 2, midY);
    if (!(option.state & QStyle::State_Open))
        painter.drawLine(midX, box.top() + 2, midX, box.bottom() - 2);
}

// The mark of a checked menu item in the square the style keeps for it; nothing for an
// unchecked one.
void drawMenuCheckMark(const QStyleOption& option, QPainter& painter) {
    if (!(option.state & QStyle::State_On)) return;
    const QRectF r = QRectF(option.rect).adjusted(2, 2, -2, -2);
    QPainterPath mark;
    mark.moveTo(r.left(), r.top() + r.height() * 0.55);
    mark.lineTo(r.left() + r.width() * 0.38, r.bottom());
    mark.lineTo(r.right(), r.top() + r.height() * 0.1);
    const bool selected = option.state & QStyle::State_Selected;
    const bool enabled = option.state & QStyle::State_Enabled;
    const QPalette::ColorRole role = !enabled   ? QPalette::Text
                                     : selected ? QPalette::HighlightedText
                                                : QPalette::WindowText;
    const QPalette::ColorGroup group = enabled ? QPalette::Normal : QPalette::Disabled;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(option.palette.color(group, role), std::max(1.5, r.width() / 6.0),
                        Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(mark);
}

}  // namespace

void KelvoStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                               QPainter* painter, const QWidget* widget) const {
    if (option && painter) {
        if (element == PE_IndicatorBranch) {
            painter->save();
            drawBranch(*option, *painter, widget);
            painter->restore();
            return;
        }
        // A checkable menu item asks for a check box; a menu shows the mark alone.
        if (element == PE_IndicatorCheckBox && qobject_cast<const QMenu*>(widget)) {
            painter->save();
            drawMenuCheckMark(*option, *painter);
            painter->restore();
            return;
        }
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

QStyle* kelvoStyle() {
    static KelvoStyle* style = [] {
        auto* s = new KelvoStyle;
        s->setParent(qApp);
        return s;
    }();
    return style;
}
