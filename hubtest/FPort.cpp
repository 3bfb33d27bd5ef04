#include "hubtest/FPort.h"

#include <QLabel>
#include <QPushButton>

namespace hub {

namespace {
QFont arial(int px, bool bold = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}
} // namespace

TPort::TPort(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Port"));
    setWindowTitle(QStringLiteral("CONNENCTING  HUB"));
    setFixedSize(500, 233);

    LMessage = new QLabel(this);
    LMessage->setObjectName(QStringLiteral("LMessage"));
    LMessage->setGeometry(9, 24, 481, 121);
    LMessage->setAlignment(Qt::AlignCenter);
    LMessage->setWordWrap(true);
    LMessage->setFont(arial(19));
    LMessage->setStyleSheet(QStringLiteral("color: #800000;"));

    LPorta = new QLabel(QStringLiteral("Serial Port"), this);
    LPorta->setObjectName(QStringLiteral("LPorta"));
    LPorta->setGeometry(40, 56, 200, 22);
    LPorta->setFont(arial(16));

    ElPorte = new PortComboBox(this);
    ElPorte->setObjectName(QStringLiteral("ElPorte"));
    ElPorte->setEditable(true);
    // Typed names are taken as they are, not added to the list.
    ElPorte->setInsertPolicy(QComboBox::NoInsert);
    ElPorte->setGeometry(40, 82, 420, 30);
    ElPorte->setFont(arial(16));

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(130, 170, 100, 36);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(270, 170, 100, 36);
    // Esc rejects the dialog, which is what Cancel does.
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TPort::asMessage(const QString& message) {
    ElPorte->hide();
    LPorta->hide();
    Button2->hide();
    Button1->move(200, Button1->y());
    LMessage->setText(message);
    LMessage->show();
}

} // namespace hub
