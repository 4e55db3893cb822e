// The module search: combinations tried tick by tick from the dialog's
// lists, stopped by the module's answer, by "Stop", by a request that cannot
// be written, or one interval after the last combination.
#include "GuiFixture.h"
#include "sim/SimulatedModule.h"

using corvanta::gui::Box;
using corvanta::gui::BoxRecorder;
using corvanta::gui::Choice;
using corvanta::gui::kBoxA;
using corvanta::gui::OpenedStatus;
using corvanta::gui::Picks;
using corvanta::gui::Windows;
using corvanta::ui::TForm2;

namespace {

const Box kNoModule{QStringLiteral("Can not scan the radio station"), QStringLiteral("Failure")};

// What each tick left behind: the dialog's picks, the port's line and the boxes shown so far.
struct TickLog {
    explicit TickLog(Windows &w) {
        QObject::connect(&w.form1.searchTimer(), &QTimer::timeout, &w.form1, [this, &w] {
            QString line = Picks(w);
            if (w.form1.serial().IsOpen())
                line += QStringLiteral(" at %1/%2").arg(w.form1.serial().BaudRate()).arg(w.form1.serial().Parity());
            picks << line;
            boxesSoFar << boxes;
        });
    }
    QStringList picks;
    QList<int> boxesSoFar;
    int boxes = 0;
};

// Fills the port list and leaves the dialog at the given picks, port closed.
bool PickInDialog(Windows &w, const QString &baud, const QString &verify) {
    return w.comSetting([&](TForm2 &d) {
        d.controls().suiComboBox_BaudRate->setCurrentText(baud);
        d.controls().suiComboBox_Verify->setCurrentText(verify);
    });
}

corvanta::sim::SimOptions Module(std::uint32_t baud, std::uint8_t parity, bool silent = false) {
    corvanta::sim::SimOptions o;
    o.state.baud = baud;
    o.state.parity = parity;
    o.silent = silent;
    return o;
}

} // namespace

class TstSearch : public QObject {
    Q_OBJECT
private slots:
    void findsModuleOnFifthCombination();
    void lastCombinationGetsItsInterval();
    void unansweredSearchEndsWithOneBox();
    void answerToLastCombinationEndsSearch();
    void searchBeforeComSetting();
    void unwritableLastCombinationShowsBothBoxes();
    void searchGoesOnUnderTheDialog();
    void stop_data();
    void stop();
};

void TstSearch::findsModuleOnFifthCombination() {
    corvanta::sim::SimulatedModule sim(Module(19200, 1));
    QVERIFY(sim.Start());
    const QString dev = QString::fromStdString(sim.DevicePath());
    BoxRecorder boxes;
    Windows w({dev});
    QVERIFY(PickInDialog(w, QStringLiteral("9600"), QStringLiteral("No")));
    TickLog ticks(w);

    w.main().suiButton2->click();
    QVERIFY(w.form1.searchTimer().isActive());
    QCOMPARE(w.status(), QStringLiteral("       Scanning Radio ..."));
    QTRY_VERIFY_WITH_TIMEOUT(!w.form1.searchTimer().isActive(), 15000);

    QCOMPARE(ticks.picks, QStringList({"9600/No at 9600/0", "9600/ODD at 9600/1", "9600/Even at 9600/2",
                                       "19200/No at 19200/0", "19200/ODD at 19200/1"}));
    QCOMPARE(w.status(),
             OpenedStatus(dev, QStringLiteral("19200"), QStringLiteral("ODD")) + QStringLiteral("Scan Radio Success!"));
    QCOMPARE(Picks(w), QStringLiteral("19200/ODD"));
    QCOMPARE(w.form1.serial().IsOpen(), 1);
    QCOMPARE(w.form1.serial().BaudRate(), 19200u);
    QCOMPARE(w.form1.serial().Parity(), 1u);
    // Already the combination after the one that worked.
    QCOMPARE(Choice(w.form1), QStringLiteral("0/4/2"));
    QCOMPARE(w.main().suiComboBox_Channel->currentText(), QStringLiteral("5"));
    QCOMPARE(w.main().suiEdit_Frequency->text(), QStringLiteral("433.0682MHz"));
    QCOMPARE(sim.RequestsHeard(), 1u);
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstSearch::lastCombinationGetsItsInterval() {
    corvanta::sim::SimulatedModule sim(Module(115200, 2, true));
    QVERIFY(sim.Start());
    const QString dev = QString::fromStdString(sim.DevicePath());
    BoxRecorder boxes;
    Windows w({dev});
    QVERIFY(PickInDialog(w, QStringLiteral("115200"), QStringLiteral("Even")));
    TickLog ticks(w);
    QStringList statusAtTick;
    QObject::connect(&w.form1.searchTimer(), &QTimer::timeout, &w.form1, [&] { statusAtTick << w.status(); });
    boxes.onBox = [&](const Box &) { ++ticks.boxes; };

    w.main().suiButton2->click();
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.boxes.isEmpty(), 5000);
    QCOMPARE(boxes.boxes, QList<Box>{kNoModule});
    // The first tick sends the only request; the end comes with the next one.
    QCOMPARE(ticks.boxesSoFar, QList<int>({0, 1}));
    const QString opened = OpenedStatus(dev, QStringLiteral("115200"), QStringLiteral("Even"));
    QCOMPARE(statusAtTick, QStringList({opened + QStringLiteral("Scanning the radio stations..."),
                                        opened + QStringLiteral("Can not scan the radio station")}));
    QVERIFY(!w.form1.searchTimer().isActive());
    QCOMPARE(Choice(w.form1), QStringLiteral("0/0/0"));
    QCOMPARE(Picks(w), QStringLiteral("115200/Even"));
    QTRY_COMPARE(sim.RequestsHeard(), 1u);
}

void TstSearch::unansweredSearchEndsWithOneBox() {
    corvanta::sim::SimulatedModule sim(Module(4800, 0));
    QVERIFY(sim.Start());
    const QString dev = QString::fromStdString(sim.DevicePath());
    BoxRecorder boxes;
    Windows w({dev});
    QVERIFY(PickInDialog(w, QStringLiteral("57600"), QStringLiteral("No")));
    TickLog ticks(w);
    boxes.onBox = [&](const Box &) { ++ticks.boxes; };

    w.main().suiButton2->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.form1.searchTimer().isActive(), 15000);
    QCOMPARE(boxes.boxes, QList<Box>{kNoModule});
    // Six combinations, then one more interval for the last one's answer.
    QCOMPARE(ticks.picks, QStringList({"57600/No at 57600/0", "57600/ODD at 57600/1", "57600/Even at 57600/2",
                                       "115200/No at 115200/0", "115200/ODD at 115200/1", "115200/Even at 115200/2",
                                       "115200/Even at 115200/2"}));
    QCOMPARE(ticks.boxesSoFar, QList<int>({0, 0, 0, 0, 0, 0, 1}));
    QCOMPARE(w.status(), OpenedStatus(dev, QStringLiteral("115200"), QStringLiteral("Even")) +
                             QStringLiteral("Can not scan the radio station"));
    QCOMPARE(Choice(w.form1), QStringLiteral("0/0/0"));
    QCOMPARE(sim.RequestsHeard(), 0u);
}

void TstSearch::answerToLastCombinationEndsSearch() {
    corvanta::sim::SimulatedModule sim(Module(115200, 2));
    QVERIFY(sim.Start());
    const QString dev = QString::fromStdString(sim.DevicePath());
    BoxRecorder boxes;
    Windows w({dev});
    QVERIFY(PickInDialog(w, QStringLiteral("115200"), QStringLiteral("Even")));
    TickLog ticks(w);

    w.main().suiButton2->click();
    const QString found =
        OpenedStatus(dev, QStringLiteral("115200"), QStringLiteral("Even")) + QStringLiteral("Scan Radio Success!");
    QTRY_COMPARE_WITH_TIMEOUT(w.status(), found, 5000);
    QVERIFY(!w.form1.searchTimer().isActive());
    // Long enough for the tick that would have ended the search.
    QTest::qWait(2 * corvanta::ui::TForm1::kSearchIntervalMs);
    QCOMPARE(ticks.picks.size(), 1);
    QCOMPARE(boxes.boxes, QList<Box>());
    QCOMPARE(w.status(), found);
    QCOMPARE(sim.RequestsHeard(), 1u);
}

void TstSearch::searchBeforeComSetting() {
    corvanta::sim::SimulatedModule sim;
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    Windows w({QString::fromStdString(sim.DevicePath())});
    TickLog ticks(w);

    w.main().suiButton2->click();
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.boxes.isEmpty(), 5000);
    QCOMPARE(boxes.boxes, (QList<Box>{{kBoxA, "Failure"}}));
    QCOMPARE(ticks.picks.size(), 1);
    QVERIFY(!w.form1.searchTimer().isActive());
    QCOMPARE(w.status(), QStringLiteral("       Operation failed"));
    QCOMPARE(w.form1.serial().IsOpen(), 0);
    QCOMPARE(sim.RequestsHeard(), 0u);
}

void TstSearch::unwritableLastCombinationShowsBothBoxes() {
    BoxRecorder boxes;
    Windows w({QStringLiteral("/dev/corvanta-no-such-port")});
    QVERIFY(PickInDialog(w, QStringLiteral("115200"), QStringLiteral("Even")));
    TickLog ticks(w);

    w.main().suiButton2->click();
    QTRY_VERIFY_WITH_TIMEOUT(!w.form1.searchTimer().isActive(), 5000);
    QCOMPARE(boxes.boxes, (QList<Box>{{kBoxA, "Failure"}, kNoModule}));
    QCOMPARE(ticks.picks, QStringList{"115200/Even"});
    QCOMPARE(w.status(), QStringLiteral("   Open Com fail:/dev/corvanta-no-such-port,115200,Even     "
                                        "Can not scan the radio station"));
}

void TstSearch::searchGoesOnUnderTheDialog() {
    corvanta::sim::SimulatedModule sim(Module(19200, 1));
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    Windows w({QString::fromStdString(sim.DevicePath())});
    QVERIFY(PickInDialog(w, QStringLiteral("9600"), QStringLiteral("ODD")));

    w.main().suiButton2->click();
    bool found = false;
    QString picks;
    bool openEnabled = true;
    bool closeEnabled = false;
    QVERIFY(w.comSetting([&](TForm2 &d) {
        found = QTest::qWaitFor([&] { return !w.form1.searchTimer().isActive(); }, 15000);
        picks = Picks(w);
        openEnabled = d.controls().suiButton_Open->isEnabled();
        closeEnabled = d.controls().suiButton_Close->isEnabled();
    }));
    QVERIFY(found);
    QCOMPARE(picks, QStringLiteral("19200/ODD"));
    QVERIFY(!openEnabled);
    QVERIFY(closeEnabled);
    QVERIFY(w.status().endsWith(QStringLiteral(",19200,ODD     Scan Radio Success!")));
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstSearch::stop_data() {
    QTest::addColumn<bool>("searching");
    QTest::newRow("while searching") << true;
    QTest::newRow("while idle") << false;
}

void TstSearch::stop() {
    QFETCH(bool, searching);
    corvanta::sim::SimulatedModule sim(Module(4800, 0));
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    Windows w({QString::fromStdString(sim.DevicePath())});
    QVERIFY(PickInDialog(w, QStringLiteral("9600"), QStringLiteral("No")));
    TickLog ticks(w);
    if (searching) {
        w.main().suiButton2->click();
        QTRY_COMPARE_WITH_TIMEOUT(ticks.picks.size(), 1, 5000);
    }
    const QString status = w.status();
    const QString choice = Choice(w.form1);
    const QString picks = Picks(w);
    bool timerStoppedUnderBox = false;
    boxes.onBox = [&](const Box &) { timerStoppedUnderBox = !w.form1.searchTimer().isActive(); };

    w.main().suiButton3->click();
    QCOMPARE(boxes.boxes, (QList<Box>{{" Stop Scan Radio", "Notice"}}));
    QVERIFY(timerStoppedUnderBox);
    QVERIFY(!w.form1.searchTimer().isActive());
    QCOMPARE(w.status(), status);
    QCOMPARE(Choice(w.form1), choice);
    QCOMPARE(Picks(w), picks);
    QCOMPARE(ticks.picks.size(), searching ? 1 : 0);
}

QTEST_MAIN(TstSearch)
#include "tst_search.moc"
