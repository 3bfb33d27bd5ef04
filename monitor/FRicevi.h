#pragma once
// TRicevi: the acquisition dialog ("RECORDING"): the serial port (the list can
// be edited, so a device path can be typed), whether to record, and the file
// name. OK accepts the dialog.
#include "common/PortComboBox.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hub {

class TRicevi : public QDialog {
    Q_OBJECT
public:
    explicit TRicevi(QWidget* parent = nullptr);

    QLabel* LPorta = nullptr;
    hub::PortComboBox* ElPorte = nullptr;
    QCheckBox* Memor = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* NomeArchivio = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // Italian texts; the buttons keep "OK" and "Cancel".
    void setItalian();

    void Button1Click();
    void Button2Click();
    void MemorClick();
};

} // namespace hub
