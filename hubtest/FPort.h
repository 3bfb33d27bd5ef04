#pragma once
// TPort: the port dialog, also used as hubtest's message box.
#include "common/PortComboBox.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace hub {

class TPort : public QDialog {
    Q_OBJECT
public:
    explicit TPort(QWidget* parent = nullptr);
    // Turns the dialog into the message box: only the message and "OK".
    void asMessage(const QString& message);

    QLabel* LMessage;
    QLabel* LPorta;
    PortComboBox* ElPorte;
    QPushButton* Button1;
    QPushButton* Button2;
};

} // namespace hub
