#include "CSpinButton.h"

#include <QToolButton>
#include <QVBoxLayout>

namespace corvanta::ui {

TCSpinButton::TCSpinButton(QWidget *parent) : QWidget(parent), up(new QToolButton(this)), down(new QToolButton(this)) {
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (auto [button, arrow] : {std::pair{up, Qt::UpArrow}, std::pair{down, Qt::DownArrow}}) {
        button->setArrowType(arrow);
        button->setAutoRepeat(true);
        button->setAutoRepeatDelay(400);
        button->setAutoRepeatInterval(100);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setFocusPolicy(Qt::NoFocus);
        layout->addWidget(button);
    }
    up->setObjectName(QStringLiteral("up"));
    down->setObjectName(QStringLiteral("down"));
    connect(up, &QToolButton::clicked, this, &TCSpinButton::UpClick);
    connect(down, &QToolButton::clicked, this, &TCSpinButton::DownClick);
}

} // namespace corvanta::ui
