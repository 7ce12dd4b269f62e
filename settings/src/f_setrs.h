// The serial settings dialog of the three tools: port, speed, parity, data
// bits, stop bits, reply time-out and retry count. It reads the store every
// time it is shown and writes it only on OK, after checking the time-out and
// the retry count; Cancel, Escape and the title-bar close store nothing.
// Callers show it with exec(); the values take effect at the next link start.
#pragma once

#include <QDialog>

#include "cls_reg.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace vsk::ui {

// The device that the port text of the dialog opens here, or an empty text
// when the text does not read as a port number 1 to 128.
QString deviceForPortText(const QString& portText);

class F_SetRS : public QDialog {
  public:
    explicit F_SetRS(QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void createControls();
    void layOutControls();
    void loadFromStore();
    void confirm();
    bool rangesAccepted();
    void storeControls();
    void showDevice(const QString& portText);

    ClsReg reg_;

    QGroupBox* Frame1 = nullptr;
    QComboBox* cmbPort = nullptr;
    QLabel* lblDevice = nullptr;
    QGroupBox* Frame2 = nullptr;
    QButtonGroup* optBaudRate = nullptr;
    QGroupBox* Frame3 = nullptr;
    QButtonGroup* optParity = nullptr;
    QGroupBox* Frame4 = nullptr;
    QButtonGroup* optBytSize = nullptr;
    QGroupBox* Frame5 = nullptr;
    QButtonGroup* optStopBit = nullptr;
    QGroupBox* Frame6 = nullptr;
    QLineEdit* txtTimeOut = nullptr;
    QLabel* Label1 = nullptr;
    QGroupBox* Frame7 = nullptr;
    QLineEdit* txtRetry = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
};

}  // namespace vsk::ui
