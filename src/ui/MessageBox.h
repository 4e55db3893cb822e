#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace corvanta::ui {

// Every box of the application goes through here: modal, OK only, no icon.
void ShowMessageBox(QWidget *parent, const QString &text, const QString &title);

// Replaces the box, so tests can record what would be shown instead of
// blocking. An empty hook brings the real box back.
using MessageBoxHook = std::function<void(const QString &text, const QString &title)>;
void SetMessageBoxHook(MessageBoxHook hook);

// The integer in text as the user typed it: leading blanks, an optional sign,
// decimal digits, nothing after them. Nothing when it does not convert or
// does not fit in an int.
std::optional<int> StrToInt(const QString &text);

// The box for a text that does not convert: "'12a' is not a valid integer value".
void ShowNotAnInteger(QWidget *parent, const QString &text);

} // namespace corvanta::ui
