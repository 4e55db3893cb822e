#pragma once

#include <QDialog>

#include "ui_Unit2.h"

namespace corvanta::ui {

class TForm1;

// The port settings dialog. Its three lists are also the working lists of
// the module search, which drives them whether the dialog is shown or not.
class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(TForm1 &main, QWidget *parent = nullptr);

    // 0: port open with the chosen settings; -1: cannot open; -2: a list has no selection.
    int openCom();
    void setParamIndex(int portIndex, int baudIndex, int parityIndex);
    void setCurStats(bool opened);
    Ui::TForm2 &controls() { return ui; }

public slots:
    void FormShow();
    void suiButton_OpenClick();
    void suiButton_CloseClick();

protected:
    void showEvent(QShowEvent *e) override;

private:
    Ui::TForm2 ui;
    TForm1 &Form1;
};

} // namespace corvanta::ui
