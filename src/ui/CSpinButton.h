#pragma once

#include <QWidget>

class QToolButton;

namespace corvanta::ui {

// Up and down arrows that repeat while held: after 400 ms, then every 100 ms.
class TCSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TCSpinButton(QWidget *parent = nullptr);
    QToolButton *upButton() const { return up; }
    QToolButton *downButton() const { return down; }

signals:
    void UpClick();
    void DownClick();

private:
    QToolButton *up;
    QToolButton *down;
};

} // namespace corvanta::ui
