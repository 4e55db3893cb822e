// The main window: its commands on the wire, their checks and boxes, the
// reply handling, the channel box and the ID spin button.
#include <QLineEdit>
#include <QToolButton>

#include "GuiFixture.h"
#include "sim/SimulatedModule.h"
#include "support/Wait.h"

using namespace std::chrono_literals;
using corvanta::ReplyFields;
using corvanta::gui::Box;
using corvanta::gui::BoxRecorder;
using corvanta::gui::Bytes;
using corvanta::gui::kBoxA;
using corvanta::gui::kBoxB;
using corvanta::gui::kBoxC;
using corvanta::gui::OpenedStatus;
using corvanta::gui::Pty;
using corvanta::gui::Windows;

Q_DECLARE_METATYPE(corvanta::ReplyFields)

namespace {

// Picks made before a click, as "objectName=index".
void Pick(QWidget &window, const QStringList &picks) {
    for (const QString &pick : picks) {
        const QStringList parts = pick.split(QLatin1Char('='));
        auto *box = window.findChild<QComboBox *>(parts.at(0));
        QVERIFY2(box, qPrintable(parts.at(0)));
        box->setCurrentIndex(parts.at(1).toInt());
    }
}

// Clicks the named button; false when the window has none.
bool Click(QWidget &window, const QString &name) {
    auto *button = window.findChild<QPushButton *>(name);
    if (!button)
        return false;
    button->click();
    return true;
}

// A pick by the user: the keyboard moves onto the item, as a click in the list would.
void UserPicks(QComboBox *box, int index) {
    box->setCurrentIndex(index > 0 ? index - 1 : 1);
    QTest::keyClick(box, index > 0 ? Qt::Key_Down : Qt::Key_Up);
}

ReplyFields Search(std::uint8_t channel, std::uint8_t band) {
    return ReplyFields{.lastCommand = 0x00, .scanChannel = channel, .bandCode = band};
}

// Replies that leave every control of the reply handling with a value.
QList<ReplyFields> Primed() {
    ReplyFields f = Search(3, 2);
    QList<ReplyFields> replies{f};
    f.lastCommand = 0x02;
    f.comBaudCode = 4;
    f.comParity = 0;
    replies << f;
    f.lastCommand = 0x04;
    f.rfBaudCode = 4;
    replies << f;
    f.lastCommand = 0x0D;
    f.guestIdHigh = 0x12;
    f.guestIdLow = 0x34;
    replies << f;
    return replies;
}

ReplyFields PrimedThen(std::uint8_t command) {
    ReplyFields f = Primed().constLast();
    f.lastCommand = command;
    return f;
}

const QString kPrimedStatus = QStringLiteral("       Read Customer ID Success!");

} // namespace

class TstFormmain : public QObject {
    Q_OBJECT
private slots:
    void channelReadTravelsByteForByte();
    void channelReadAgainstTheSimulatedModule();
    void requestFrames_data();
    void requestFrames();
    void writeWithoutSelectionSendsNothing_data();
    void writeWithoutSelectionSendsNothing();
    void commandWithoutPort_data();
    void commandWithoutPort();
    void replyIsHandledUnderAnOpenBox();
    void replyHandling_data();
    void replyHandling();
    void userPickShowsFrequencyOfLatestBand_data();
    void userPickShowsFrequencyOfLatestBand();
    void selectionByCodeShowsNoFrequency();
    void guestIdSpin_data();
    void guestIdSpin();
    void writeGuestId_data();
    void writeGuestId();
    void lostPort_data();
    void lostPort();
    void lostNoticeLeavesReplacementPortOpen();
};

void TstFormmain::channelReadTravelsByteForByte() {
    Pty pty;
    QVERIFY(pty.Ok());
    BoxRecorder boxes;
    Windows w({pty.SlavePath()});
    QVERIFY(w.open());
    const QString opened = OpenedStatus(pty.SlavePath());

    w.main().suiButton_ChannelRead->click();
    QCOMPARE(pty.ReadMaster(13), Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02, 0x00, 0x00, 0x95, 0x0D, 0x0A}));
    QCOMPARE(pty.ReadMaster(1, 300ms), QByteArray());
    QCOMPARE(w.status(), opened + QStringLiteral("Read channel..."));

    // A search reply (channel 3, band 2), then the channel reply (channel 5).
    QVERIFY(pty.WriteMaster(
        Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x00, 0x04, 0x03, 0x00, 0x02, 0x00, 0x96, 0x0D, 0x0A})));
    QVERIFY(pty.WriteMaster(Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02, 0x05, 0x00, 0x9A, 0x0D, 0x0A})));
    QTRY_COMPARE(w.status(), opened + QStringLiteral("Read channel parameters Success!"));
    QCOMPARE(w.main().suiComboBox_Channel->currentText(), QStringLiteral("5"));
    QCOMPARE(w.main().suiEdit_Frequency->text(), QStringLiteral("433.0682MHz"));
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstFormmain::channelReadAgainstTheSimulatedModule() {
    corvanta::sim::SimOptions o;
    o.state.channel = 17;
    corvanta::sim::SimulatedModule sim(o);
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    const QString dev = QString::fromStdString(sim.DevicePath());
    Windows w({dev});
    QVERIFY(w.open());
    const QString opened = OpenedStatus(dev);

    w.main().suiButton_ChannelRead->click();
    QTRY_COMPARE(w.status(), opened + QStringLiteral("Read channel parameters Success!"));
    QCOMPARE(w.main().suiComboBox_Channel->currentText(), QStringLiteral("17"));
    // No search reply yet: the band is unknown, so no frequency.
    QCOMPARE(w.main().suiEdit_Frequency->text(), QString());

    // The search reply brings the band; a later channel read shows the frequency.
    w.main().suiButton2->click();
    QTRY_COMPARE(w.status(), opened + QStringLiteral("Scan Radio Success!"));
    QCOMPARE(w.main().suiEdit_Frequency->text(), QStringLiteral("437.0032MHz"));
    w.main().suiComboBox_Channel->setCurrentIndex(0);
    w.main().suiButton_ChannelRead->click();
    QTRY_COMPARE(w.status(), opened + QStringLiteral("Read channel parameters Success!"));
    QCOMPARE(w.main().suiComboBox_Channel->currentText(), QStringLiteral("17"));
    QCOMPARE(w.main().suiEdit_Frequency->text(), QStringLiteral("437.0032MHz"));
    QCOMPARE(sim.RequestsHeard(), 3u);
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstFormmain::requestFrames_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("read channel") << "suiButton_ChannelRead" << QStringList() << "Read channel..."
                                  << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x06, 0x02, 0x00, 0x00, 0x95, 0x0D,
                                            0x0A});
    QTest::newRow("read air baud rate") << "suiButton_RfBaudRateRead" << QStringList() << "Reading the air baud rate..."
                                        << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x04, 0x02, 0x00, 0x00, 0x93,
                                                  0x0D, 0x0A});
    QTest::newRow("read serial parameters")
        << "suiButton_ComBaudRateRead" << QStringList() << "Read the module serial port baud rate..."
        << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x02, 0x02, 0x00, 0x00, 0x91, 0x0D, 0x0A});
    QTest::newRow("read ID") << "suiButton_ReadGuestId" << QStringList() << "Read customer ID..."
                             << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0D, 0x02, 0x00, 0x00, 0x9C, 0x0D, 0x0A});
    QTest::newRow("write channel 32") << "suiButton_ChannelSet" << QStringList{"suiComboBox_Channel=31"}
                                      << "Set channel..."
                                      << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x05, 0x02, 0x20, 0x00, 0xB4, 0x0D,
                                                0x0A});
    QTest::newRow("write channel 1") << "suiButton_ChannelSet" << QStringList{"suiComboBox_Channel=0"}
                                     << "Set channel..."
                                     << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x05, 0x02, 0x01, 0x00, 0x95, 0x0D,
                                               0x0A});
    QTest::newRow("write air baud rate 9600")
        << "suiButton_RfBaudRateSet" << QStringList{"suiComboBox_RfBaudRate=3"} << "Air baud rate setting..."
        << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x03, 0x02, 0x04, 0x00, 0x96, 0x0D, 0x0A});
    QTest::newRow("write serial 19200 Even")
        << "suiButton_ComBaudRateSet" << QStringList{"suiComboBox_ComBaudRate=4", "suiComboBox_ComVerify=2"}
        << "Write module serial baud rate..."
        << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x01, 0x02, 0x05, 0x02, 0x97, 0x0D, 0x0A});
    QTest::newRow("write serial 115200 No")
        << "suiButton_ComBaudRateSet" << QStringList{"suiComboBox_ComBaudRate=7", "suiComboBox_ComVerify=0"}
        << "Write module serial baud rate..."
        << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x01, 0x02, 0x08, 0x00, 0x98, 0x0D, 0x0A});
    QTest::newRow("write power 7") << "suiButton_WritePower" << QStringList{"suiComboBox_Power=6"}
                                   << "Set transmit power..."
                                   << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x13, 0x02, 0x07, 0x00, 0xA9, 0x0D,
                                             0x0A});
}

void TstFormmain::requestFrames() {
    QFETCH(QString, button);
    QFETCH(QStringList, picks);
    QFETCH(QString, activity);
    QFETCH(QByteArray, frame);
    Pty pty;
    QVERIFY(pty.Ok());
    BoxRecorder boxes;
    Windows w({pty.SlavePath()});
    QVERIFY(w.open());
    Pick(w.form1, picks);

    QVERIFY(Click(w.form1, button));
    QCOMPARE(pty.ReadMaster(frame.size()), frame);
    QCOMPARE(pty.ReadMaster(1, 300ms), QByteArray());
    QCOMPARE(w.status(), OpenedStatus(pty.SlavePath()) + activity);
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstFormmain::writeWithoutSelectionSendsNothing_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<Box>("box");
    QTest::addColumn<QString>("cleared");

    const Box b{kBoxB, QStringLiteral("Failure")};
    QTest::newRow("channel") << "suiButton_ChannelSet" << QStringList() << Box{kBoxC, QStringLiteral("Fail")} << " ";
    QTest::newRow("air baud rate") << "suiButton_RfBaudRateSet" << QStringList() << b << "  ";
    QTest::newRow("serial: neither") << "suiButton_ComBaudRateSet" << QStringList() << b << " ";
    QTest::newRow("serial: no parity") << "suiButton_ComBaudRateSet" << QStringList{"suiComboBox_ComBaudRate=4"} << b
                                       << " ";
    QTest::newRow("serial: no baud rate")
        << "suiButton_ComBaudRateSet" << QStringList{"suiComboBox_ComVerify=1"} << b << " ";
    QTest::newRow("power") << "suiButton_WritePower" << QStringList() << b << " ";
}

void TstFormmain::writeWithoutSelectionSendsNothing() {
    QFETCH(QString, button);
    QFETCH(QStringList, picks);
    QFETCH(Box, box);
    QFETCH(QString, cleared);
    Pty pty;
    QVERIFY(pty.Ok());
    BoxRecorder boxes;
    Windows w({pty.SlavePath()});
    QVERIFY(w.open());
    // An activity text that the check's clearing must blank.
    w.main().suiButton_RfBaudRateRead->click();
    QCOMPARE(pty.ReadMaster(13).size(), 13);
    Pick(w.form1, picks);

    QString statusUnderBox;
    boxes.onBox = [&](const Box &) { statusUnderBox = w.status(); };
    QVERIFY(Click(w.form1, button));
    QCOMPARE(boxes.boxes, QList<Box>{box});
    const QString expected = OpenedStatus(pty.SlavePath()) + cleared;
    QCOMPARE(statusUnderBox, expected);
    QCOMPARE(w.status(), expected);
    QCOMPARE(pty.ReadMaster(1, 300ms), QByteArray());
}

void TstFormmain::commandWithoutPort_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("picks");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<Box>("box");

    const Box a{kBoxA, QStringLiteral("Failure")};
    QTest::newRow("read channel") << "suiButton_ChannelRead" << QStringList() << "Read channel..."
                                  << Box{kBoxC, QStringLiteral("Fail")};
    QTest::newRow("read air baud rate") << "suiButton_RfBaudRateRead" << QStringList() << "Reading the air baud rate..."
                                        << a;
    QTest::newRow("read serial parameters")
        << "suiButton_ComBaudRateRead" << QStringList() << "Read the module serial port baud rate..." << a;
    QTest::newRow("read ID") << "suiButton_ReadGuestId" << QStringList() << "Read customer ID..." << a;
    QTest::newRow("write channel") << "suiButton_ChannelSet" << QStringList{"suiComboBox_Channel=4"} << "Set channel..."
                                   << a;
    QTest::newRow("write air baud rate") << "suiButton_RfBaudRateSet" << QStringList{"suiComboBox_RfBaudRate=0"}
                                         << "Air baud rate setting..." << a;
    QTest::newRow("write serial parameters")
        << "suiButton_ComBaudRateSet" << QStringList{"suiComboBox_ComBaudRate=0", "suiComboBox_ComVerify=0"}
        << "Write module serial baud rate..." << a;
    QTest::newRow("write ID") << "suiButton_WriteGuestId" << QStringList() << "Setting Client ID..." << a;
    QTest::newRow("write power") << "suiButton_WritePower" << QStringList{"suiComboBox_Power=0"}
                                 << "Set transmit power..." << a;
}

void TstFormmain::commandWithoutPort() {
    QFETCH(QString, button);
    QFETCH(QStringList, picks);
    QFETCH(QString, activity);
    QFETCH(Box, box);
    BoxRecorder boxes;
    Windows w({});
    Pick(w.form1, picks);

    QString statusUnderBox;
    boxes.onBox = [&](const Box &) { statusUnderBox = w.status(); };
    QVERIFY(Click(w.form1, button));
    QCOMPARE(boxes.boxes, QList<Box>{box});
    QCOMPARE(statusUnderBox, QStringLiteral("       ") + activity);
    QCOMPARE(w.status(), QStringLiteral("       ") + activity);
}

void TstFormmain::replyIsHandledUnderAnOpenBox() {
    corvanta::sim::SimOptions o;
    o.state.rfBaud = 38400;
    o.replyDelayMs = 300;
    corvanta::sim::SimulatedModule sim(o);
    QVERIFY(sim.Start());
    BoxRecorder boxes;
    Windows w({QString::fromStdString(sim.DevicePath())});
    QVERIFY(w.open());

    w.main().suiButton_RfBaudRateRead->click();
    bool handledUnderBox = false;
    boxes.onBox = [&](const Box &) {
        handledUnderBox = QTest::qWaitFor([&] { return w.main().suiComboBox_RfBaudRate->currentText() == "38400"; });
    };
    // The channel box has no selection: box C opens while the answer is on its way.
    w.main().suiButton_ChannelSet->click();
    QCOMPARE(boxes.boxes, (QList<Box>{{kBoxC, QStringLiteral("Fail")}}));
    QVERIFY(handledUnderBox);
    QVERIFY(w.status().endsWith(QStringLiteral("    Reading the air parameters Success!")));
}

void TstFormmain::replyHandling_data() {
    QTest::addColumn<QList<ReplyFields>>("before");
    QTest::addColumn<ReplyFields>("reply");
    QTest::addColumn<QString>("channel");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("comBaud");
    QTest::addColumn<QString>("comVerify");
    QTest::addColumn<QString>("rfBaud");
    QTest::addColumn<QString>("guestId");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("searchRuns");

    const QList<ReplyFields> none;
    const QString n; // no selection, or an empty edit box
    const QString id0 = QStringLiteral("00000");

    // Search replies.
    QTest::newRow("search ch 5 band 2") << none << Search(5, 2) << "5"
                                        << "433.0682MHz" << n << n << n << id0 << "       Scan Radio Success!" << false;
    QTest::newRow("search ch 0") << none << Search(0, 2) << n << n << n << n << n << id0 << "       Scan Radio Success!"
                                 << false;
    QTest::newRow("search band 4") << QList<ReplyFields>{Search(2, 2)} << Search(7, 4) << "7"
                                   << "433.5785MHz" << n << n << n << id0 << "       Scan Radio Success!" << false;
    QTest::newRow("search band 3 ch 12 keeps text")
        << QList<ReplyFields>{Search(2, 2)} << Search(12, 3) << "12"
        << "433.5785MHz" << n << n << n << id0 << "       Scan Radio Success!" << false;
    QTest::newRow("search band 3 ch 8") << none << Search(8, 3) << "8"
                                        << "492.4388MHz" << n << n << n << id0 << "       Scan Radio Success!" << false;

    // Channel replies take the band of the latest search reply.
    const QString channelOk = QStringLiteral("       Read channel parameters Success!");
    QTest::newRow("channel 5, no search yet") << none << ReplyFields{.lastCommand = 0x06, .channel = 5} << "5" << n << n
                                              << n << n << id0 << channelOk << true;
    QTest::newRow("channel 32, band 2") << QList<ReplyFields>{Search(0, 2)}
                                        << ReplyFields{.lastCommand = 0x06, .bandCode = 2, .channel = 32} << "32"
                                        << "424.0528MHz" << n << n << n << id0 << channelOk << true;
    QTest::newRow("channel 12, band 3 keeps text")
        << QList<ReplyFields>{Search(1, 3)}
        << ReplyFields{.lastCommand = 0x06, .scanChannel = 1, .bandCode = 3, .channel = 12} << "12"
        << "487.5072MHz" << n << n << n << id0 << channelOk << true;
    QTest::newRow("channel 0 keeps text")
        << QList<ReplyFields>{Search(3, 2)}
        << ReplyFields{.lastCommand = 0x06, .scanChannel = 3, .bandCode = 2, .channel = 0} << n << "433.0688MHz" << n
        << n << n << id0 << channelOk << true;
    QTest::newRow("channel 33 keeps text")
        << QList<ReplyFields>{Search(3, 2)}
        << ReplyFields{.lastCommand = 0x06, .scanChannel = 3, .bandCode = 2, .channel = 33} << n << "433.0688MHz" << n
        << n << n << id0 << channelOk << true;

    // Serial parameters: baud code minus one, parity code as it is.
    const QString comOk = QStringLiteral("       Read the module serial port parameters Success!");
    QTest::newRow("serial 4/2") << none << ReplyFields{.lastCommand = 0x02, .comBaudCode = 4, .comParity = 2} << n << n
                                << "9600"
                                << "Even" << n << id0 << comOk << true;
    QTest::newRow("serial 8/0") << none << ReplyFields{.lastCommand = 0x02, .comBaudCode = 8, .comParity = 0} << n << n
                                << "115200"
                                << "No" << n << id0 << comOk << true;
    QTest::newRow("serial parity 3") << none << ReplyFields{.lastCommand = 0x02, .comBaudCode = 1, .comParity = 3} << n
                                     << n << "1200" << n << n << id0 << comOk << true;
    QTest::newRow("serial baud 0") << none << ReplyFields{.lastCommand = 0x02, .comBaudCode = 0, .comParity = 1} << n
                                   << n << n << "ODD" << n << id0 << comOk << true;
    QTest::newRow("serial baud 9") << none << ReplyFields{.lastCommand = 0x02, .comBaudCode = 9, .comParity = 1} << n
                                   << n << n << "ODD" << n << id0 << comOk << true;

    const QString rfOk = QStringLiteral("       Reading the air parameters Success!");
    QTest::newRow("air 1") << none << ReplyFields{.lastCommand = 0x04, .rfBaudCode = 1} << n << n << n << n << "1200"
                           << id0 << rfOk << true;
    QTest::newRow("air 8") << none << ReplyFields{.lastCommand = 0x04, .rfBaudCode = 8} << n << n << n << n << "115200"
                           << id0 << rfOk << true;
    ReplyFields air9 = PrimedThen(0x04);
    air9.rfBaudCode = 9;
    QTest::newRow("air 9 clears the pick") << Primed() << air9 << "3"
                                           << "433.0688MHz"
                                           << "9600"
                                           << "No" << n << "04660" << rfOk << true;

    const QString idOk = QStringLiteral("       Read Customer ID Success!");
    QTest::newRow("ID 01 00") << none << ReplyFields{.lastCommand = 0x0D, .guestIdHigh = 0x01, .guestIdLow = 0x00} << n
                              << n << n << n << n << "00256" << idOk << true;
    ReplyFields id00 = PrimedThen(0x0D);
    id00.guestIdHigh = 0x00;
    id00.guestIdLow = 0x00;
    QTest::newRow("ID 00 00") << Primed() << id00 << "3"
                              << "433.0688MHz"
                              << "9600"
                              << "No"
                              << "9600"
                              << "00000" << idOk << true;
    QTest::newRow("ID FF FF") << none << ReplyFields{.lastCommand = 0x0D, .guestIdHigh = 0xFF, .guestIdLow = 0xFF} << n
                              << n << n << n << n << "65535" << idOk << true;
    QTest::newRow("ID 0D 0A") << none << ReplyFields{.lastCommand = 0x0D, .guestIdHigh = 0x0D, .guestIdLow = 0x0A} << n
                              << n << n << n << n << "03338" << idOk << true;

    // Replies to writes confirm, and change no control even when their values differ.
    auto written = [](std::uint8_t command) {
        ReplyFields f = PrimedThen(command);
        f.comBaudCode = 5;
        f.comParity = 2;
        f.rfBaudCode = 7;
        f.channel = 9;
        f.guestIdHigh = 0x00;
        f.guestIdLow = 0x01;
        return f;
    };
    const struct {
        const char *name;
        std::uint8_t command;
        const char *text;
    } writes[] = {
        {"write serial 0x01", 0x01, "Write the serial port parameters of the module Success!"},
        {"write air 0x03", 0x03, "Write air parameters Success!"},
        {"write channel 0x05", 0x05, "Write channel parameters Success!"},
        {"write ID 0x0C", 0x0C, "Write customer ID Success!"},
        {"write power 0x13", 0x13, "Write transmit power Success!"},
    };
    for (const auto &row : writes)
        QTest::newRow(row.name) << Primed() << written(row.command) << "3"
                                << "433.0688MHz"
                                << "9600"
                                << "No"
                                << "9600"
                                << "04660" << QStringLiteral("       ") + QLatin1String(row.text) << true;

    // Codes outside the command set: nothing changes, not even the status line.
    for (std::uint8_t code : {0x07, 0x0B, 0x0E, 0x12, 0x14, 0xFF}) {
        const ReplyFields f = written(code);
        QTest::addRow("unknown 0x%02X", code) << Primed() << f << "3"
                                              << "433.0688MHz"
                                              << "9600"
                                              << "No"
                                              << "9600"
                                              << "04660" << kPrimedStatus << true;
    }
}

void TstFormmain::replyHandling() {
    QFETCH(QList<ReplyFields>, before);
    QFETCH(ReplyFields, reply);
    QFETCH(QString, channel);
    QFETCH(QString, frequency);
    QFETCH(QString, comBaud);
    QFETCH(QString, comVerify);
    QFETCH(QString, rfBaud);
    QFETCH(QString, guestId);
    QFETCH(QString, status);
    QFETCH(bool, searchRuns);
    BoxRecorder boxes;
    Windows w({});
    for (const ReplyFields &f : before)
        w.form1.OnModuleReply(f);
    w.form1.searchTimer().start();

    w.form1.OnModuleReply(reply);
    QCOMPARE(w.main().suiComboBox_Channel->currentText(), channel);
    QCOMPARE(w.main().suiEdit_Frequency->text(), frequency);
    QCOMPARE(w.form1.frequency(), frequency);
    QCOMPARE(w.main().suiComboBox_ComBaudRate->currentText(), comBaud);
    QCOMPARE(w.main().suiComboBox_ComVerify->currentText(), comVerify);
    QCOMPARE(w.main().suiComboBox_RfBaudRate->currentText(), rfBaud);
    QCOMPARE(w.main().suiEdit_GuestId->text(), guestId);
    QCOMPARE(w.status(), status);
    QCOMPARE(w.form1.searchTimer().isActive(), searchRuns);
    QCOMPARE(boxes.boxes, QList<Box>());
    w.form1.searchTimer().stop();
}

void TstFormmain::userPickShowsFrequencyOfLatestBand_data() {
    QTest::addColumn<QList<ReplyFields>>("searches");
    QTest::addColumn<QList<int>>("picks");
    QTest::addColumn<QString>("frequency");

    QTest::newRow("no band yet, 5") << QList<ReplyFields>() << QList<int>{4} << "";
    QTest::newRow("band 2, 1") << QList<ReplyFields>{Search(0, 2)} << QList<int>{0} << "433.0782MHz";
    QTest::newRow("band 2, 17") << QList<ReplyFields>{Search(0, 2)} << QList<int>{16} << "437.0032MHz";
    QTest::newRow("band 2, 32") << QList<ReplyFields>{Search(0, 2)} << QList<int>{31} << "424.0528MHz";
    QTest::newRow("band 3, 8") << QList<ReplyFields>{Search(0, 3)} << QList<int>{7} << "492.4388MHz";
    QTest::newRow("band 3, 8 then 9") << QList<ReplyFields>{Search(0, 3)} << QList<int>{7, 8} << "492.4388MHz";
    QTest::newRow("band 2 then 3, 2") << QList<ReplyFields>{Search(0, 2), Search(0, 3)} << QList<int>{1}
                                      << "488.4289MHz";
    QTest::newRow("band 3 then 2, 2") << QList<ReplyFields>{Search(0, 3), Search(0, 2)} << QList<int>{1}
                                      << "433.5785MHz";
    QTest::newRow("band 2 then 4, 1") << QList<ReplyFields>{Search(2, 2), Search(0, 4)} << QList<int>{0}
                                      << "433.5785MHz";
}

void TstFormmain::userPickShowsFrequencyOfLatestBand() {
    QFETCH(QList<ReplyFields>, searches);
    QFETCH(QList<int>, picks);
    QFETCH(QString, frequency);
    BoxRecorder boxes;
    Windows w({});
    for (const ReplyFields &f : searches)
        w.form1.OnModuleReply(f);
    const QString status = w.status();

    for (int index : picks)
        UserPicks(w.main().suiComboBox_Channel, index);
    QCOMPARE(w.main().suiComboBox_Channel->currentIndex(), picks.constLast());
    QCOMPARE(w.main().suiEdit_Frequency->text(), frequency);
    QCOMPARE(w.status(), status);
    QCOMPARE(boxes.boxes, QList<Box>());
}

void TstFormmain::selectionByCodeShowsNoFrequency() {
    Windows w({});
    w.form1.OnModuleReply(Search(0, 2));
    w.main().suiComboBox_Channel->setCurrentIndex(4);
    QCOMPARE(w.main().suiEdit_Frequency->text(), QString());
    QCOMPARE(w.form1.frequency(), QString());
    // The same item, picked by the user.
    UserPicks(w.main().suiComboBox_Channel, 4);
    QCOMPARE(w.main().suiEdit_Frequency->text(), QStringLiteral("433.0682MHz"));
}

void TstFormmain::guestIdSpin_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("box");

    const QString none;
    QTest::newRow("empty up") << "" << true << "00001" << none;
    QTest::newRow("empty down") << "" << false << "00000" << none;
    QTest::newRow("65534 up") << "65534" << true << "65535" << none;
    QTest::newRow("65535 up") << "65535" << true << "65535" << none;
    QTest::newRow("99999 up") << "99999" << true << "65535" << none;
    QTest::newRow("99999 down") << "99999" << false << "99998" << none;
    QTest::newRow("00000 down") << "00000" << false << "00000" << none;
    QTest::newRow("-3 up") << "-3" << true << "-0002" << none;
    QTest::newRow("-3 down") << "-3" << false << "00000" << none;
    QTest::newRow("7 up") << "7" << true << "00008" << none;
    QTest::newRow("00258 down") << "00258" << false << "00257" << none;
    QTest::newRow("12a up") << "12a" << true << "12a"
                            << "'12a' is not a valid integer value";
    QTest::newRow("12a down") << "12a" << false << "12a"
                              << "'12a' is not a valid integer value";
    QTest::newRow("- up") << "-" << true << "-"
                          << "'-' is not a valid integer value";
}

void TstFormmain::guestIdSpin() {
    QFETCH(QString, text);
    QFETCH(bool, up);
    QFETCH(QString, result);
    QFETCH(QString, box);
    BoxRecorder boxes;
    Windows w({});
    w.main().suiEdit_GuestId->setText(text);

    auto *spin = w.main().CSpinButton_GuestId;
    (up ? spin->upButton() : spin->downButton())->click();
    QCOMPARE(w.main().suiEdit_GuestId->text(), result);
    QCOMPARE(boxes.boxes.size(), box.isEmpty() ? 0 : 1);
    if (!box.isEmpty())
        QCOMPARE(boxes.boxes.constFirst().text, box);
    QCOMPARE(w.status(), QString());
}

void TstFormmain::writeGuestId_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Box>("box");
    QTest::addColumn<QString>("action");

    const Box none;
    const QString title = QCoreApplication::applicationName();
    QTest::newRow("00258") << "00258"
                           << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x01, 0x02, 0x9E, 0x0D, 0x0A})
                           << none << "Setting Client ID...";
    QTest::newRow("100 has checksum 00") << "100"
                                         << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x00, 0x64, 0x00,
                                                   0x0D, 0x0A})
                                         << none << "Setting Client ID...";
    QTest::newRow("00000") << "00000"
                           << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x00, 0x00, 0x9B, 0x0D, 0x0A})
                           << none << "Setting Client ID...";
    QTest::newRow("65535") << "65535"
                           << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0xFF, 0xFF, 0x99, 0x0D, 0x0A})
                           << none << "Setting Client ID...";
    QTest::newRow("leading blanks") << "  258"
                                    << Bytes({0xAF, 0xAF, 0x00, 0x00, 0xAF, 0x80, 0x0C, 0x02, 0x01, 0x02, 0x9E, 0x0D,
                                              0x0A})
                                    << none << "Setting Client ID...";
    QTest::newRow("empty") << "" << QByteArray() << none << " ";
    QTest::newRow("12a") << "12a" << QByteArray() << Box{"'12a' is not a valid integer value", title}
                         << "Setting Client ID...";
    QTest::newRow("-") << "-" << QByteArray() << Box{"'-' is not a valid integer value", title}
                       << "Setting Client ID...";
    QTest::newRow("65536") << "65536" << QByteArray() << Box{kBoxB, "Failure"} << " ";
    QTest::newRow("99999") << "99999" << QByteArray() << Box{kBoxB, "Failure"} << " ";
    QTest::newRow("-3") << "-3" << QByteArray() << Box{kBoxB, "Failure"} << " ";
}

void TstFormmain::writeGuestId() {
    QFETCH(QString, text);
    QFETCH(QByteArray, frame);
    QFETCH(Box, box);
    QFETCH(QString, action);
    Pty pty;
    QVERIFY(pty.Ok());
    BoxRecorder boxes;
    Windows w({pty.SlavePath()});
    QVERIFY(w.open());
    w.main().suiButton_RfBaudRateRead->click();
    QCOMPARE(pty.ReadMaster(13).size(), 13);
    w.main().suiEdit_GuestId->setText(text);

    w.main().suiButton_WriteGuestId->click();
    QCOMPARE(pty.ReadMaster(frame.size()), frame);
    QCOMPARE(pty.ReadMaster(1, 300ms), QByteArray());
    QCOMPARE(boxes.boxes, box.text.isEmpty() ? QList<Box>() : QList<Box>{box});
    QCOMPARE(w.status(), OpenedStatus(pty.SlavePath()) + action);
    QCOMPARE(w.main().suiEdit_GuestId->text(), text);
}

void TstFormmain::lostPort_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("activity");
    QTest::addColumn<Box>("box");

    QTest::newRow("read channel") << "suiButton_ChannelRead"
                                  << "Read channel..." << Box{kBoxC, "Fail"};
    QTest::newRow("read ID") << "suiButton_ReadGuestId"
                             << "Read customer ID..." << Box{kBoxA, "Failure"};
}

void TstFormmain::lostPort() {
    QFETCH(QString, button);
    QFETCH(QString, activity);
    QFETCH(Box, box);
    Pty pty;
    QVERIFY(pty.Ok());
    BoxRecorder boxes;
    Windows w({pty.SlavePath()});
    QVERIFY(w.open());
    const QString lost = QStringLiteral("   Port lost:") + pty.SlavePath() + QStringLiteral(",9600,No     ");

    pty.CloseMaster();
    QTRY_COMPARE(w.status(), lost + QStringLiteral(" "));
    QCOMPARE(w.form1.serial().IsOpen(), 0);
    QCOMPARE(boxes.boxes, QList<Box>());

    QVERIFY(Click(w.form1, button));
    QCOMPARE(boxes.boxes, QList<Box>{box});
    QCOMPARE(w.status(), lost + activity);

    bool openEnabled = false;
    bool closeEnabled = true;
    QVERIFY(w.comSetting([&](corvanta::ui::TForm2 &d) {
        openEnabled = d.controls().suiButton_Open->isEnabled();
        closeEnabled = d.controls().suiButton_Close->isEnabled();
    }));
    QVERIFY(openEnabled);
    QVERIFY(!closeEnabled);
}

void TstFormmain::lostNoticeLeavesReplacementPortOpen() {
    Pty first;
    Pty second;
    QVERIFY(first.Ok() && second.Ok());
    BoxRecorder boxes;
    Windows w({first.SlavePath(), second.SlavePath()});
    QVERIFY(w.open());

    // The first port goes away; its notice is queued while the UI thread is still busy
    // with a click that opens the second port.
    first.CloseMaster();
    // Polled without running the event loop, so the notice stays queued.
    corvanta::test::WaitUntil([&] { return w.form1.serial().ReceiveExitCode() == corvanta::CXSerial::kExitPortLost; });
    QCOMPARE(w.form1.serial().ReceiveExitCode(), corvanta::CXSerial::kExitPortLost);
    w.dialog().suiComboBox_ComPort->setCurrentIndex(1);
    w.form2.suiButton_OpenClick();
    QCOMPARE(w.form1.serial().PortName(), second.SlavePath().toStdString());

    QCoreApplication::sendPostedEvents();
    QCOMPARE(w.form1.serial().IsOpen(), 1);
    QCOMPARE(w.status(), OpenedStatus(second.SlavePath()) + QStringLiteral(" "));
    w.main().suiButton_ReadGuestId->click();
    QCOMPARE(second.ReadMaster(13).size(), 13);
    QCOMPARE(boxes.boxes, QList<Box>());
}

QTEST_MAIN(TstFormmain)
#include "tst_formmain.moc"
