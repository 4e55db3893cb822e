#include "Formmain.h"

#include <QComboBox>
#include <algorithm>

#include "MessageBox.h"
#include "Unit2.h"
#include "protocol/ChannelPlan.h"
#include "protocol/ModuleFrame.h"
#include "protocol/Requests.h"
#include "serial/CXSerial.h"

namespace corvanta::ui {
namespace {

const QString kBoxA = QStringLiteral("Operation failed,Serial port is open detection");
const QString kBoxB = QStringLiteral("Operation failed,Please select the correct parameters");
const QString kBoxC = QStringLiteral("Operand Fail,Please Check the Param");
const QString kFailure = QStringLiteral("Failure");

// Selects a position; one outside the list leaves the box without selection.
void Select(QComboBox *box, int position) {
    box->setCurrentIndex(position >= 0 && position < box->count() ? position : -1);
}

QString FiveDigits(int value) { return QString::asprintf("%05d", value); }

const char *const kStyle = R"(
QWidget { font-family: "Liberation Sans", "Nimbus Sans", Arial; font-size: 11px; }
#suiForm1 { background: rgb(251, 251, 251); border: 1px solid black; }
#suiImagePanel1 { background: rgb(166, 202, 240); }
#suiPageControl1::pane, #suiTabSheet1, #suiImagePanel3 { background: rgb(231, 231, 231); }
#suiImagePanel2 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(214, 226, 244), stop:1 rgb(166, 190, 226));
                  color: rgb(16, 32, 80); border-top: 1px solid rgb(127, 127, 127); }
QGroupBox { background: transparent; border: 1px solid rgb(160, 160, 160); border-radius: 3px; margin-top: 7px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
)";

} // namespace

TForm1::TForm1(PortSources ports, QWidget *parent)
    : QWidget(parent), replyMessage(RegisterWindowMessage("NerloSerial_MSG_RECV_1")),
      portLostMessage(RegisterWindowMessage("Corvanta_PortLost")), portSources(std::move(ports)),
      notifier(this, portLostMessage) {
    ui.setupUi(this);
    setFixedSize(411, 512);
    setStyleSheet(QString::fromLatin1(kStyle));
    for (QComboBox *box : {ui.suiComboBox_Channel, ui.suiComboBox_RfBaudRate, ui.suiComboBox_ComBaudRate,
                           ui.suiComboBox_ComVerify, ui.suiComboBox_Power})
        box->setCurrentIndex(-1);

    Timer1.setInterval(kSearchIntervalMs);
    Timer1.stop();
    serialPort.SetNotifyWindow(&notifier, replyMessage);

    connect(&Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(ui.suiButton1, &QPushButton::clicked, this, &TForm1::suiButton1Click);
    connect(ui.suiButton2, &QPushButton::clicked, this, &TForm1::suiButton2Click);
    connect(ui.suiButton3, &QPushButton::clicked, this, &TForm1::suiButton3Click);
    connect(ui.suiButton4, &QPushButton::clicked, this, &TForm1::suiButton4Click);
    connect(ui.CSpinButton_GuestId, &TCSpinButton::UpClick, this, &TForm1::CSpinButton_GuestIdUpClick);
    connect(ui.CSpinButton_GuestId, &TCSpinButton::DownClick, this, &TForm1::CSpinButton_GuestIdDownClick);
    connect(ui.suiButton_ChannelRead, &QPushButton::clicked, this, &TForm1::suiButton_ChannelReadClick);
    connect(ui.suiButton_ChannelSet, &QPushButton::clicked, this, &TForm1::suiButton_ChannelSetClick);
    connect(ui.suiButton_RfBaudRateRead, &QPushButton::clicked, this, &TForm1::suiButton_RfBaudRateReadClick);
    connect(ui.suiButton_RfBaudRateSet, &QPushButton::clicked, this, &TForm1::suiButton_RfBaudRateSetClick);
    connect(ui.suiButton_ComBaudRateRead, &QPushButton::clicked, this, &TForm1::suiButton_ComBaudRateReadClick);
    connect(ui.suiButton_ComBaudRateSet, &QPushButton::clicked, this, &TForm1::suiButton_ComBaudRateSetClick);
    connect(ui.suiButton_ReadGuestId, &QPushButton::clicked, this, &TForm1::suiButton_ReadGuestIdClick);
    connect(ui.suiButton_WriteGuestId, &QPushButton::clicked, this, &TForm1::suiButton_WriteGuestIdClick);
    connect(ui.suiButton_WritePower, &QPushButton::clicked, this, &TForm1::suiButton_WritePowerClick);
    // activated, not currentIndexChanged: only a pick by the user shows its frequency here.
    connect(ui.suiComboBox_Channel, &QComboBox::activated, this, &TForm1::suiComboBox_ChannelChange);

    FormCreate();
}

TForm1::~TForm1() { serialPort.Close(); }

void TForm1::FormCreate() {
    // Ports are listed from the system's records: opening each one would pulse its DTR and RTS.
    auto &list = serialPort.portList;
    list.clear();
    auto add = [&list](const std::string &port) {
        if (std::find(list.begin(), list.end(), port) == list.end())
            list.push_back(port);
    };
    for (const auto &port : portSources.first)
        add(port);
    if (portSources.discover)
        for (const auto &port : ListSerialPorts())
            add(port);
    for (const auto &port : portSources.extra)
        add(port);
    firstShow = true;
}

void TForm1::setStatusText(const QString &text) { ui.suiImagePanel2->setText(text); }

QString TForm1::statusLine() const {
    return QStringLiteral("   ") + portStatus + QStringLiteral("    ") + actionStatus;
}

void TForm1::setPortStatus(const QString &text) {
    portStatus = text;
    setStatusText(statusLine());
}

void TForm1::setActionStatus(const QString &text) {
    actionStatus = text;
    setStatusText(statusLine());
}

void TForm1::box(const QString &text, const QString &title) { ShowMessageBox(this, text, title); }

void TForm1::sendFailed(bool sent, const QString &text, const QString &title) {
    if (!sent)
        box(text, title);
}

void TForm1::suiButton1Click() {
    if (firstShow) {
        firstShow = false;
        QComboBox *ports = Form2->controls().suiComboBox_ComPort;
        for (const auto &port : serialPort.portList)
            ports->addItem(QString::fromStdString(port));
        if (ports->count() > 0)
            ports->setCurrentIndex(0);
    }
    Form2->exec();
}

void TForm1::suiButton4Click() { close(); }

void TForm1::stepGuestId(int step) {
    const QString text = ui.suiEdit_GuestId->text();
    int value = 0;
    if (!text.isEmpty()) {
        const auto converted = StrToInt(text);
        if (!converted) {
            ShowNotAnInteger(this, text);
            return;
        }
        value = *converted;
    }
    // Up stops at the largest 16-bit ID, down at 0; each leaves the other end open.
    const long long next = static_cast<long long>(value) + step;
    value = static_cast<int>(step > 0 ? std::min(next, 65535LL) : std::max(next, 0LL));
    ui.suiEdit_GuestId->setText(FiveDigits(value));
}

void TForm1::CSpinButton_GuestIdUpClick() { stepGuestId(+1); }
void TForm1::CSpinButton_GuestIdDownClick() { stepGuestId(-1); }

void TForm1::suiButton_ChannelReadClick() {
    setActionStatus(QStringLiteral("Read channel..."));
    sendFailed(SendReadRequest(serialPort, CmdChannelRead), kBoxC, QStringLiteral("Fail"));
}

void TForm1::suiButton_ChannelSetClick() {
    setActionStatus(QStringLiteral(" "));
    if (ui.suiComboBox_Channel->currentIndex() < 0) {
        box(kBoxC, QStringLiteral("Fail"));
        return;
    }
    setActionStatus(QStringLiteral("Set channel..."));
    sendFailed(SendChannel(serialPort, ui.suiComboBox_Channel->currentText().toInt()), kBoxA, kFailure);
}

void TForm1::suiButton_RfBaudRateReadClick() {
    setActionStatus(QStringLiteral("Reading the air baud rate..."));
    sendFailed(SendReadRequest(serialPort, CmdRfBaudRateRead), kBoxA, kFailure);
}

void TForm1::suiButton_RfBaudRateSetClick() {
    setActionStatus(QStringLiteral("  "));
    if (ui.suiComboBox_RfBaudRate->currentIndex() < 0) {
        box(kBoxB, kFailure);
        return;
    }
    setActionStatus(QStringLiteral("Air baud rate setting..."));
    sendFailed(SendRfBaudRate(serialPort, ui.suiComboBox_RfBaudRate->currentIndex() + 1), kBoxA, kFailure);
}

void TForm1::suiButton_ComBaudRateReadClick() {
    setActionStatus(QStringLiteral("Read the module serial port baud rate..."));
    sendFailed(SendReadRequest(serialPort, CmdComParamRead), kBoxA, kFailure);
}

void TForm1::suiButton_ComBaudRateSetClick() {
    setActionStatus(QStringLiteral(" "));
    if (ui.suiComboBox_ComBaudRate->currentIndex() < 0 || ui.suiComboBox_ComVerify->currentIndex() < 0) {
        box(kBoxB, kFailure);
        return;
    }
    setActionStatus(QStringLiteral("Write module serial baud rate..."));
    sendFailed(SendComParam(serialPort, ui.suiComboBox_ComBaudRate->currentIndex() + 1,
                            ui.suiComboBox_ComVerify->currentIndex()),
               kBoxA, kFailure);
}

void TForm1::suiButton_ReadGuestIdClick() {
    setActionStatus(QStringLiteral("Read customer ID..."));
    sendFailed(SendReadRequest(serialPort, CmdGuestIdRead), kBoxA, kFailure);
}

void TForm1::suiButton_WriteGuestIdClick() {
    setActionStatus(QStringLiteral(" "));
    const QString text = ui.suiEdit_GuestId->text();
    if (text.isEmpty())
        return;
    setActionStatus(QStringLiteral("Setting Client ID..."));
    const auto id = StrToInt(text);
    if (!id) {
        ShowNotAnInteger(this, text);
        return;
    }
    // The ID travels in 16 bits: anything else would be sent as a different ID.
    if (*id < 0 || *id > 65535) {
        setActionStatus(QStringLiteral(" "));
        box(kBoxB, kFailure);
        return;
    }
    sendFailed(SendGuestId(serialPort, *id), kBoxA, kFailure);
}

void TForm1::suiButton_WritePowerClick() {
    setActionStatus(QStringLiteral(" "));
    if (ui.suiComboBox_Power->currentIndex() < 0) {
        box(kBoxB, kFailure);
        return;
    }
    setActionStatus(QStringLiteral("Set transmit power..."));
    sendFailed(SendPower(serialPort, ui.suiComboBox_Power->currentText().toInt()), kBoxA, kFailure);
}

void TForm1::suiComboBox_ChannelChange() { ShowChannelFrequency(ui.suiComboBox_Channel->currentIndex()); }

void TForm1::ShowChannelFrequency(int channelIndex) {
    if (const auto text = ChannelFrequency(lastReply.bandCode, channelIndex))
        frequencyText = QString::fromLatin1(text->data(), static_cast<qsizetype>(text->size()));
    ui.suiEdit_Frequency->setText(frequencyText);
}

bool TForm1::event(QEvent *e) {
    MarkReceived(e);
    const auto type = static_cast<std::uint32_t>(e->type());
    if (replyMessage != 0 && type == replyMessage) {
        OnModuleReply(static_cast<ReplyEvent *>(e)->reply);
        return true;
    }
    if (portLostMessage != 0 && type == portLostMessage) {
        OnPortLost(static_cast<PortLostEvent *>(e)->error);
        return true;
    }
    return QWidget::event(e);
}

void TForm1::OnModuleReply(const ReplyFields &reply) {
    lastReply = reply;
    QString success;
    switch (reply.lastCommand) {
    case CmdScanRadio:
        Timer1.stop();
        searchEnding = false;
        Select(ui.suiComboBox_Channel, reply.scanChannel - 1);
        ShowChannelFrequency(reply.scanChannel - 1);
        success = QStringLiteral("Scan Radio Success!");
        break;
    case CmdComParamSet:
        success = QStringLiteral("Write the serial port parameters of the module Success!");
        break;
    case CmdComParamRead:
        Select(ui.suiComboBox_ComBaudRate, reply.comBaudCode - 1);
        Select(ui.suiComboBox_ComVerify, reply.comParity);
        success = QStringLiteral("Read the module serial port parameters Success!");
        break;
    case CmdRfBaudRateSet:
        success = QStringLiteral("Write air parameters Success!");
        break;
    case CmdRfBaudRateRead:
        Select(ui.suiComboBox_RfBaudRate, reply.rfBaudCode - 1);
        success = QStringLiteral("Reading the air parameters Success!");
        break;
    case CmdChannelSet:
        success = QStringLiteral("Write channel parameters Success!");
        break;
    case CmdChannelRead:
        Select(ui.suiComboBox_Channel, reply.channel - 1);
        ShowChannelFrequency(ui.suiComboBox_Channel->currentIndex());
        success = QStringLiteral("Read channel parameters Success!");
        break;
    case CmdGuestIdSet:
        success = QStringLiteral("Write customer ID Success!");
        break;
    case CmdGuestIdRead:
        ui.suiEdit_GuestId->setText(FiveDigits(reply.GuestId()));
        success = QStringLiteral("Read Customer ID Success!");
        break;
    case CmdPowerSet:
        success = QStringLiteral("Write transmit power Success!");
        break;
    default:
        return;
    }
    setActionStatus(success);
}

void TForm1::OnPortLost(const SerialError &) {
    // A notice that arrives after another port was opened is about a port that is already gone.
    if (!serialPort.IsOpen() || !serialPort.IsLost())
        return;
    serialPort.Close();
    setPortStatus(QStringLiteral("Port lost:") + portDescription);
    if (Form2 != nullptr)
        Form2->setCurStats(false);
}

void TForm1::suiButton2Click() {
    Timer1.start();
    searchEnding = false;
    auto &dialog = Form2->controls();
    serialPort.portChoice.baud = static_cast<std::uint8_t>(dialog.suiComboBox_BaudRate->currentIndex());
    serialPort.portChoice.parity = static_cast<std::uint8_t>(dialog.suiComboBox_Verify->currentIndex());
    setActionStatus(QStringLiteral("Scanning Radio ..."));
}

void TForm1::suiButton3Click() {
    Timer1.stop();
    searchEnding = false;
    box(QStringLiteral(" Stop Scan Radio"), QStringLiteral("Notice"));
}

void TForm1::Timer1Timer() {
    const QString noModule = QStringLiteral("Can not scan the radio station");
    if (searchEnding) {
        // The last combination had its interval and no answer came.
        Timer1.stop();
        searchEnding = false;
        setActionStatus(noModule);
        box(noModule, kFailure);
        return;
    }
    const PortChoice &choice = serialPort.portChoice;
    Form2->setParamIndex(choice.port, choice.baud, choice.parity);
    Form2->openCom();
    setActionStatus(QStringLiteral("Scanning the radio stations..."));
    if (!SendScanRadio(serialPort)) {
        Timer1.stop();
        setActionStatus(QStringLiteral("Operation failed"));
        box(kBoxA, kFailure);
    }
    if (!advancePortChoice()) {
        if (Timer1.isActive()) {
            searchEnding = true;
            return;
        }
        setActionStatus(noModule);
        box(noModule, kFailure);
    }
}

bool TForm1::advancePortChoice() {
    PortChoice &choice = serialPort.portChoice;
    const auto &dialog = Form2->controls();
    ++choice.parity;
    if (choice.parity < dialog.suiComboBox_Verify->count())
        return true;
    choice.parity = 0;
    ++choice.baud;
    if (choice.baud < dialog.suiComboBox_BaudRate->count())
        return true;
    choice.baud = 0;
    return false;
}

} // namespace corvanta::ui
