#include "Unit2.h"

#include "Formmain.h"
#include "MessageBox.h"

namespace corvanta::ui {

TForm2::TForm2(TForm1 &main, QWidget *parent) : QDialog(parent), Form1(main) {
    ui.setupUi(this);
    setFixedSize(308, 253);
    setStyleSheet(QStringLiteral("QWidget { font-family: \"Liberation Sans\", \"Nimbus Sans\", Arial; font-size: 11px; "
                                 "} #suiForm1 { background: rgb(251, 251, 251); border: 1px solid black; }"));
    connect(ui.suiButton_Open, &QPushButton::clicked, this, &TForm2::suiButton_OpenClick);
    connect(ui.suiButton_Close, &QPushButton::clicked, this, &TForm2::suiButton_CloseClick);
    connect(ui.suiButton_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TForm2::showEvent(QShowEvent *e) {
    QDialog::showEvent(e);
    FormShow();
}

void TForm2::FormShow() { setCurStats(Form1.serial().IsOpen() == 1); }

void TForm2::setCurStats(bool opened) {
    ui.suiButton_Open->setEnabled(!opened);
    ui.suiButton_Close->setEnabled(opened);
}

int TForm2::openCom() {
    if (ui.suiComboBox_ComPort->currentIndex() < 0 || ui.suiComboBox_BaudRate->currentIndex() < 0 ||
        ui.suiComboBox_Verify->currentIndex() < 0)
        return -2;
    // On Linux a port is its device path, taken from the list as it stands.
    const QString port = ui.suiComboBox_ComPort->currentText();
    const auto baud = StrToInt(ui.suiComboBox_BaudRate->currentText());
    const int parity = ui.suiComboBox_Verify->currentIndex();
    const QString description = port + QStringLiteral(",") + ui.suiComboBox_BaudRate->currentText() +
                                QStringLiteral(",") + ui.suiComboBox_Verify->currentText() + QStringLiteral(" ");
    Form1.setPortDescription(description);
    if (baud && *baud > 0 &&
        Form1.serial().ApplySettings(port.toStdString(), static_cast<std::uint32_t>(*baud),
                                     static_cast<std::uint32_t>(parity))) {
        Form1.setPortStatus(QStringLiteral("Open Com Succeed:") + description);
        setCurStats(true);
        return 0;
    }
    Form1.setPortStatus(QStringLiteral("Open Com fail:") + description);
    return -1;
}

void TForm2::setParamIndex(int portIndex, int baudIndex, int parityIndex) {
    const struct {
        QComboBox *box;
        int index;
    } lists[] = {{ui.suiComboBox_ComPort, portIndex},
                 {ui.suiComboBox_BaudRate, baudIndex},
                 {ui.suiComboBox_Verify, parityIndex}};
    for (const auto &list : lists)
        list.box->setCurrentIndex(list.index >= list.box->count() ? list.box->count() - 1 : list.index);
}

void TForm2::suiButton_OpenClick() {
    switch (openCom()) {
    case 0: {
        PortChoice &choice = Form1.serial().portChoice;
        choice.port = static_cast<std::uint8_t>(ui.suiComboBox_ComPort->currentIndex());
        choice.baud = static_cast<std::uint8_t>(ui.suiComboBox_BaudRate->currentIndex());
        choice.parity = static_cast<std::uint8_t>(ui.suiComboBox_Verify->currentIndex());
        Form1.setActionStatus(QStringLiteral(" "));
        accept();
        break;
    }
    case -1:
        ShowMessageBox(this, QStringLiteral("Open Com fail"), QStringLiteral("Error"));
        break;
    default:
        ShowMessageBox(this, QStringLiteral("Please Slect the Right Param"), QStringLiteral("Hint"));
        break;
    }
}

void TForm2::suiButton_CloseClick() {
    Form1.serial().Close();
    setCurStats(false);
}

} // namespace corvanta::ui
