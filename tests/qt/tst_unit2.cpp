// The port settings dialog: its port list, Open, Close, Cancel, the button
// states and the list positions that the module search drives.
#include "GuiFixture.h"
#include "sim/SimulatedModule.h"

using corvanta::gui::Box;
using corvanta::gui::BoxRecorder;
using corvanta::gui::Choice;
using corvanta::gui::kBoxC;
using corvanta::gui::OpenedStatus;
using corvanta::gui::Picks;
using corvanta::gui::Windows;
using corvanta::ui::TForm2;

namespace {

const QString kMissing = QStringLiteral("/dev/corvanta-no-such-port");

struct Buttons {
    bool open = false;
    bool close = false;
    bool operator==(const Buttons &) const = default;
};

Buttons ButtonsOf(TForm2 &d) {
    return {d.controls().suiButton_Open->isEnabled(), d.controls().suiButton_Close->isEnabled()};
}

} // namespace

namespace QTest {
template <> inline char *toString(const Buttons &b) {
    return QTest::toString(QStringLiteral("Open %1, Close %2").arg(b.open ? "on" : "off", b.close ? "on" : "off"));
}
} // namespace QTest

class TstUnit2 : public QObject {
    Q_OBJECT
private slots:
    void portListIsFilledOnce();
    void openAppliesTheChoiceAndCloses_data();
    void openAppliesTheChoiceAndCloses();
    void closeKeepsDialogAndStatus();
    void cancelAppliesNothing();
    void openOnMissingDeviceKeepsDialog();
    void openWithoutPortAsksForParam();
    void setParamIndex_data();
    void setParamIndex();
};

void TstUnit2::portListIsFilledOnce() {
    BoxRecorder boxes;
    Windows w({QStringLiteral("/dev/corvanta-first"), QStringLiteral("/dev/corvanta-second")});
    QCOMPARE(w.dialog().suiComboBox_ComPort->count(), 0);

    QStringList listed;
    int selected = -2;
    QVERIFY(w.comSetting([&](TForm2 &d) {
        for (int i = 0; i < d.controls().suiComboBox_ComPort->count(); ++i)
            listed << d.controls().suiComboBox_ComPort->itemText(i);
        selected = d.controls().suiComboBox_ComPort->currentIndex();
        d.controls().suiComboBox_ComPort->setCurrentIndex(1);
    }));
    QCOMPARE(listed, QStringList({"/dev/corvanta-first", "/dev/corvanta-second"}));
    QCOMPARE(selected, 0);

    QVERIFY(w.comSetting([&](TForm2 &d) {
        listed.clear();
        for (int i = 0; i < d.controls().suiComboBox_ComPort->count(); ++i)
            listed << d.controls().suiComboBox_ComPort->itemText(i);
        selected = d.controls().suiComboBox_ComPort->currentIndex();
    }));
    QCOMPARE(listed, QStringList({"/dev/corvanta-first", "/dev/corvanta-second"}));
    QCOMPARE(selected, 1);
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstUnit2::openAppliesTheChoiceAndCloses_data() {
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("verify");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("parity");
    QTest::addColumn<QString>("choice");

    QTest::newRow("9600 No") << "9600"
                             << "No" << 9600 << 0 << "1/3/0";
    QTest::newRow("19200 ODD") << "19200"
                               << "ODD" << 19200 << 1 << "1/4/1";
    QTest::newRow("115200 Even") << "115200"
                                 << "Even" << 115200 << 2 << "1/7/2";
    QTest::newRow("1200 Even") << "1200"
                               << "Even" << 1200 << 2 << "1/0/2";
}

void TstUnit2::openAppliesTheChoiceAndCloses() {
    QFETCH(QString, baud);
    QFETCH(QString, verify);
    QFETCH(int, rate);
    QFETCH(int, parity);
    QFETCH(QString, choice);
    corvanta::sim::SimOptions o;
    o.state.baud = static_cast<std::uint32_t>(rate);
    o.state.parity = static_cast<std::uint8_t>(parity);
    corvanta::sim::SimulatedModule sim(o);
    QVERIFY(sim.Start());
    const QString dev = QString::fromStdString(sim.DevicePath());
    BoxRecorder boxes;
    Windows w({kMissing, dev});
    // An activity text that a successful Open blanks.
    w.main().suiButton_ChannelRead->click();
    QCOMPARE(boxes.boxes, (QList<Box>{{kBoxC, "Fail"}}));

    Buttons shown;
    QVERIFY(w.comSetting([&](TForm2 &d) {
        shown = ButtonsOf(d);
        d.controls().suiComboBox_ComPort->setCurrentIndex(1);
        d.controls().suiComboBox_BaudRate->setCurrentText(baud);
        d.controls().suiComboBox_Verify->setCurrentText(verify);
        d.controls().suiButton_Open->click();
    }));
    QCOMPARE(shown, (Buttons{true, false}));
    QCOMPARE(w.form2.result(), int(QDialog::Accepted));
    QCOMPARE(w.status(), OpenedStatus(dev, baud, verify) + QStringLiteral(" "));
    QCOMPARE(Choice(w.form1), choice);
    QCOMPARE(w.form1.serial().IsOpen(), 1);
    QCOMPARE(boxes.boxes.size(), 1);

    // The module answers only at its own line settings.
    w.main().suiButton_ReadGuestId->click();
    QTRY_VERIFY(w.status().endsWith(QStringLiteral("    Read Customer ID Success!")));
    QCOMPARE(sim.RequestsHeard(), 1u);

    QVERIFY(w.comSetting([&](TForm2 &d) { shown = ButtonsOf(d); }));
    QCOMPARE(shown, (Buttons{false, true}));
}

void TstUnit2::closeKeepsDialogAndStatus() {
    corvanta::sim::SimulatedModule sim;
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    Windows w({QString::fromStdString(sim.DevicePath())});
    QVERIFY(w.open(QStringLiteral("19200"), QStringLiteral("Even")));
    const QString status = w.status();
    const QString choice = Choice(w.form1);

    bool staysOpen = false;
    Buttons after;
    QVERIFY(w.comSetting([&](TForm2 &d) {
        d.controls().suiButton_Close->click();
        staysOpen = d.isVisible();
        after = ButtonsOf(d);
    }));
    QVERIFY(staysOpen);
    QCOMPARE(after, (Buttons{true, false}));
    QCOMPARE(w.form1.serial().IsOpen(), 0);
    QCOMPARE(w.status(), status);
    QCOMPARE(Choice(w.form1), choice);
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstUnit2::cancelAppliesNothing() {
    corvanta::sim::SimulatedModule sim;
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    Windows w({QString::fromStdString(sim.DevicePath())});
    QVERIFY(w.open());
    const QString status = w.status();

    QVERIFY(w.comSetting([&](TForm2 &d) {
        d.controls().suiComboBox_BaudRate->setCurrentText(QStringLiteral("115200"));
        d.controls().suiComboBox_Verify->setCurrentText(QStringLiteral("Even"));
        d.controls().suiButton_Cancel->click();
    }));
    QCOMPARE(w.form2.result(), int(QDialog::Rejected));
    QCOMPARE(w.form1.serial().IsOpen(), 1);
    QCOMPARE(w.form1.serial().BaudRate(), 9600u);
    QCOMPARE(w.form1.serial().Parity(), 0u);
    QCOMPARE(Choice(w.form1), QStringLiteral("0/3/0"));
    QCOMPARE(w.status(), status);

    QString picks;
    QVERIFY(w.comSetting([&](TForm2 &) { picks = Picks(w); }));
    QCOMPARE(picks, QStringLiteral("115200/Even"));
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstUnit2::openOnMissingDeviceKeepsDialog() {
    BoxRecorder boxes;
    Windows w({kMissing});
    bool staysOpen = false;
    Buttons after;
    QVERIFY(w.comSetting([&](TForm2 &d) {
        d.controls().suiButton_Open->click();
        staysOpen = d.isVisible();
        after = ButtonsOf(d);
    }));
    QVERIFY(staysOpen);
    QCOMPARE(after, (Buttons{true, false}));
    QCOMPARE(boxes.boxes, (QList<Box>{{"Open Com fail", "Error"}}));
    QCOMPARE(w.status(), QStringLiteral("   Open Com fail:") + kMissing + QStringLiteral(",9600,No     "));
    QCOMPARE(Choice(w.form1), QStringLiteral("0/0/0"));
    QCOMPARE(w.form1.serial().IsOpen(), 0);
}

void TstUnit2::openWithoutPortAsksForParam() {
    BoxRecorder boxes;
    Windows w({});
    bool staysOpen = false;
    QVERIFY(w.comSetting([&](TForm2 &d) {
        d.controls().suiButton_Open->click();
        staysOpen = d.isVisible();
    }));
    QVERIFY(staysOpen);
    QCOMPARE(boxes.boxes, (QList<Box>{{"Please Slect the Right Param", "Hint"}}));
    QCOMPARE(w.status(), QString());
    QCOMPARE(Choice(w.form1), QStringLiteral("0/0/0"));
}

void TstUnit2::setParamIndex_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("status");

    const QStringList two{"/dev/corvanta-a", "/dev/corvanta-b"};
    QTest::newRow("beyond every list") << two << QList<int>{5, 9, 3} << "/dev/corvanta-b/115200/Even" << -1
                                       << "   Open Com fail:/dev/corvanta-b,115200,Even     ";
    QTest::newRow("inside the lists") << two << QList<int>{0, 0, 1} << "/dev/corvanta-a/1200/ODD" << -1
                                      << "   Open Com fail:/dev/corvanta-a,1200,ODD     ";
    QTest::newRow("no port listed") << QStringList() << QList<int>{0, 3, 0} << "/9600/No" << -2 << "";
}

void TstUnit2::setParamIndex() {
    QFETCH(QStringList, ports);
    QFETCH(QList<int>, indices);
    QFETCH(QString, picked);
    QFETCH(int, result);
    QFETCH(QString, status);
    BoxRecorder boxes;
    Windows w(ports);
    QVERIFY(w.comSetting());

    w.form2.setParamIndex(indices.at(0), indices.at(1), indices.at(2));
    QCOMPARE(w.dialog().suiComboBox_ComPort->currentText() + QLatin1Char('/') +
                 w.dialog().suiComboBox_BaudRate->currentText() + QLatin1Char('/') +
                 w.dialog().suiComboBox_Verify->currentText(),
             picked);
    QCOMPARE(w.form2.openCom(), result);
    QCOMPARE(w.status(), status);
    QCOMPARE(boxes.boxes, QList<Box>());
}

QTEST_MAIN(TstUnit2)
#include "tst_unit2.moc"
