#pragma once
// TPort: the port dialog, also used as hubtest's message box.
#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace hub {

class TPort : public QDialog {
    Q_OBJECT
public:
    explicit TPort(QWidget* parent = nullptr);

    QLabel* LMessage;
    QLabel* LPorta;
    QComboBox* ElPorte;
    QPushButton* Button1;
    QPushButton* Button2;
};

} // namespace hub
