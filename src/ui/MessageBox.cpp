#include "MessageBox.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <climits>

namespace corvanta::ui {
namespace {

MessageBoxHook &Hook() {
    static MessageBoxHook hook;
    return hook;
}

} // namespace

void ShowMessageBox(QWidget *parent, const QString &text, const QString &title) {
    if (Hook()) {
        Hook()(text, title);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void SetMessageBoxHook(MessageBoxHook hook) { Hook() = std::move(hook); }

std::optional<int> StrToInt(const QString &text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    if (i == text.size())
        return std::nullopt;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return static_cast<int>(value);
}

void ShowNotAnInteger(QWidget *parent, const QString &text) {
    ShowMessageBox(parent, QStringLiteral("'%1' is not a valid integer value").arg(text),
                   QCoreApplication::applicationName());
}

} // namespace corvanta::ui
