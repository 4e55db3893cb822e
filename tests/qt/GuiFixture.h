#pragma once

#include <QByteArray>
#include <QComboBox>
#include <QLabel>
#include <QList>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QtTest>
#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>

#include "Formmain.h"
#include "MessageBox.h"
#include "Unit2.h"

#include "support/PtyPair.h"

namespace corvanta::gui {

// A bare pseudo-terminal: the window opens SlavePath() as its port, the test
// plays the module on the master side and sees every byte the window sends.
class Pty {
public:
    bool Ok() const { return pair.Ok(); }
    QString SlavePath() const { return QString::fromStdString(pair.SlavePath()); }

    // Up to n bytes the window sent; fewer when the line stays quiet until the timeout.
    QByteArray ReadMaster(qsizetype n, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        const auto bytes = pair.ReadMaster(static_cast<std::size_t>(n), timeout);
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }
    bool WriteMaster(const QByteArray &bytes) {
        return pair.WriteMaster(std::span(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                          static_cast<std::size_t>(bytes.size())));
    }
    // Pulls the plug: the window's side of the line hangs up.
    void CloseMaster() { pair.CloseMaster(); }

private:
    test::PtyPair pair;
};

inline QByteArray Bytes(std::initializer_list<unsigned char> bytes) {
    QByteArray out;
    for (unsigned char b : bytes)
        out.append(static_cast<char>(b));
    return out;
}

struct Box {
    QString text;
    QString title;
    bool operator==(const Box &) const = default;
};

// Records the application's message boxes instead of showing them. onBox runs
// while the box would be open, so a test can act "under" it.
class BoxRecorder {
public:
    BoxRecorder() {
        ui::SetMessageBoxHook([this](const QString &text, const QString &title) {
            boxes.append({text, title});
            if (onBox)
                onBox(boxes.constLast());
        });
    }
    ~BoxRecorder() { ui::SetMessageBoxHook({}); }
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    QList<Box> boxes;
    std::function<void(const Box &)> onBox;
};

inline const QString kBoxA = QStringLiteral("Operation failed,Serial port is open detection");
inline const QString kBoxB = QStringLiteral("Operation failed,Please select the correct parameters");
inline const QString kBoxC = QStringLiteral("Operand Fail,Please Check the Param");

// The two windows, built and tied together as the application does.
struct Windows {
    explicit Windows(const QStringList &ports) : form1(Sources(ports)), form2(form1, &form1) {
        form1.setDialog(&form2);
    }
    Ui::TForm1 &main() { return form1.controls(); }
    Ui::TForm2 &dialog() { return form2.controls(); }
    // What the status panel shows.
    QString status() { return form1.controls().suiImagePanel2->text(); }

    // "Com Setting": inside() acts in the shown dialog, which is then cancelled
    // if it is still open. False when the dialog never came up.
    bool comSetting(const std::function<void(ui::TForm2 &)> &inside = {}) {
        bool shown = false;
        QTimer::singleShot(0, &form2, [&] {
            shown = form2.isVisible();
            if (inside)
                inside(form2);
            if (form2.isVisible())
                form2.reject();
        });
        form1.controls().suiButton1->click();
        return shown && !form2.isVisible();
    }

    // Opens the first listed port through the dialog with the given line settings.
    bool open(const QString &baud = QStringLiteral("9600"), const QString &verify = QStringLiteral("No")) {
        comSetting([&](ui::TForm2 &d) {
            d.controls().suiComboBox_BaudRate->setCurrentText(baud);
            d.controls().suiComboBox_Verify->setCurrentText(verify);
            d.controls().suiButton_Open->click();
        });
        return form1.serial().IsOpen() == 1;
    }

    ui::TForm1 form1;
    ui::TForm2 form2;

private:
    static ui::PortSources Sources(const QStringList &ports) {
        ui::PortSources sources;
        for (const QString &port : ports)
            sources.first.push_back(port.toStdString());
        sources.discover = false;
        return sources;
    }
};

// The status line once a port is open, before any activity text.
inline QString OpenedStatus(const QString &port, const QString &baud = QStringLiteral("9600"),
                            const QString &verify = QStringLiteral("No")) {
    return QStringLiteral("   Open Com Succeed:") + port + QLatin1Char(',') + baud + QLatin1Char(',') + verify +
           QStringLiteral("     ");
}

// The list positions of the port settings, as "port/baud/parity".
inline QString Choice(ui::TForm1 &form) {
    const auto &c = form.serial().portChoice;
    return QStringLiteral("%1/%2/%3").arg(c.port).arg(c.baud).arg(c.parity);
}

// The dialog's baud rate and parity picks, as "baud/parity".
inline QString Picks(Windows &w) {
    return w.dialog().suiComboBox_BaudRate->currentText() + QLatin1Char('/') +
           w.dialog().suiComboBox_Verify->currentText();
}

} // namespace corvanta::gui

#if defined(__SANITIZE_THREAD__)
#define CORVANTA_GUI_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define CORVANTA_GUI_TSAN 1
#endif
#endif
#ifdef CORVANTA_GUI_TSAN
// Qt is not built with ThreadSanitizer, so the join of Qt Test's watchdog
// thread at exit is invisible to it; only that teardown is silenced.
extern "C" const char *__tsan_default_suppressions() {
    return "race:QWaitCondition::~QWaitCondition\n"
           "race:QTest::qRun\n";
}
#endif

Q_DECLARE_METATYPE(corvanta::gui::Box)

namespace QTest {
template <> inline char *toString(const corvanta::gui::Box &box) {
    return QTest::toString(QStringLiteral("\"%1\" / \"%2\"").arg(box.text, box.title));
}
} // namespace QTest
