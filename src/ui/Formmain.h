#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

#include "WindowMessages.h"
#include "serial/NerloSerial.h"
#include "ui_Formmain.h"

namespace corvanta::ui {

class TForm2;

// Where the port list comes from: ports listed first (the simulated module),
// the ports found on the system, then ports named on the command line.
struct PortSources {
    std::vector<std::string> first;
    bool discover = true;
    std::vector<std::string> extra;
};

// The main window: command buttons, the radio parameters, the status line,
// the module search. Owns the one serial object; all of it runs on the UI
// thread, replies arrive as posted events.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSearchIntervalMs = 800;

    explicit TForm1(PortSources ports = {}, QWidget *parent = nullptr);
    ~TForm1() override;

    // The port settings dialog, created right after this window.
    void setDialog(TForm2 *dialog) { Form2 = dialog; }

    void setStatusText(const QString &text);
    void setPortStatus(const QString &text);
    void setActionStatus(const QString &text);
    QString statusLine() const;
    // The port and line last opened or tried, for the lost-port message.
    void setPortDescription(const QString &description) { portDescription = description; }

    NerloSerial &serial() { return serialPort; }
    Ui::TForm1 &controls() { return ui; }
    QTimer &searchTimer() { return Timer1; }
    std::uint32_t replyMessageId() const { return replyMessage; }
    const QString &frequency() const { return frequencyText; }

    bool advancePortChoice();
    void ShowChannelFrequency(int channelIndex);
    void OnModuleReply(const ReplyFields &reply);

public slots:
    void FormCreate();
    void suiButton1Click();
    void suiButton2Click();
    void suiButton3Click();
    void suiButton4Click();
    void Timer1Timer();
    void CSpinButton_GuestIdUpClick();
    void CSpinButton_GuestIdDownClick();
    void suiButton_ChannelReadClick();
    void suiButton_ChannelSetClick();
    void suiButton_RfBaudRateReadClick();
    void suiButton_RfBaudRateSetClick();
    void suiButton_ComBaudRateReadClick();
    void suiButton_ComBaudRateSetClick();
    void suiButton_ReadGuestIdClick();
    void suiButton_WriteGuestIdClick();
    void suiButton_WritePowerClick();
    void suiComboBox_ChannelChange();

protected:
    // The window's message dispatch: replies and a lost port arrive here.
    bool event(QEvent *e) override;

private:
    void box(const QString &text, const QString &title);
    void sendFailed(bool sent, const QString &text, const QString &title);
    void stepGuestId(int step);
    void OnPortLost(const SerialError &error);

    Ui::TForm1 ui;
    QString portStatus;
    QString actionStatus;
    std::uint32_t replyMessage = 0;
    std::uint32_t portLostMessage = 0;
    QString frequencyText;
    bool firstShow = false;
    // The band and values of the latest reply handled here.
    ReplyFields lastReply;
    QString portDescription;
    // Set when the last combination has been sent: its answer still gets one interval.
    bool searchEnding = false;
    PortSources portSources;
    QTimer Timer1;
    TForm2 *Form2 = nullptr;
    EventNotifyTarget notifier;
    // Last member: destroyed first, so the receive thread ends before anything it posts to goes.
    NerloSerial serialPort;
};

} // namespace corvanta::ui
