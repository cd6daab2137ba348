#pragma once

#include <QWidget>

class QToolButton;

// An up-down pair of arrow buttons with no buddy box: it only reports clicks (and the Up and
// Down keys while it has focus) as steps of +1 or -1. The position it steps lives with
// whoever handles the clicks.
class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent = nullptr);

    void stepUp() { emit stepped(+1); }
    void stepDown() { emit stepped(-1); }

signals:
    void stepped(int delta);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* m_up;
    QToolButton* m_down;
};
