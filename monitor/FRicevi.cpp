#include "monitor/FRicevi.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace hub {

TRicevi::TRicevi(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Ricevi"));
    // Fixed border, no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("RECORDING"));
    setFixedSize(557, 285);
    setModal(true);

    LPorta = new QLabel(QStringLiteral("Serial Port"), this);
    LPorta->setObjectName(QStringLiteral("LPorta"));
    LPorta->setGeometry(40, 30, 200, 24);
    ElPorte = new hub::PortComboBox(this);
    ElPorte->setObjectName(QStringLiteral("ElPorte"));
    ElPorte->setEditable(true);
    ElPorte->setInsertPolicy(QComboBox::NoInsert);
    ElPorte->setGeometry(40, 56, 477, 28);

    Memor = new QCheckBox(QStringLiteral("Creating file"), this);
    Memor->setObjectName(QStringLiteral("Memor"));
    Memor->setGeometry(40, 104, 300, 24);
    Memor->setChecked(true);

    Label2 = new QLabel(QStringLiteral("File name"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(40, 140, 200, 24);
    NomeArchivio = new QLineEdit(this);
    NomeArchivio->setObjectName(QStringLiteral("NomeArchivio"));
    NomeArchivio->setGeometry(40, 166, 477, 28);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(120, 226, 120, 36);
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(317, 226, 120, 36);

    connect(Button1, &QPushButton::clicked, this, &TRicevi::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TRicevi::Button2Click);
    connect(Memor, &QCheckBox::clicked, this, &TRicevi::MemorClick);
}

void TRicevi::setItalian() {
    setWindowTitle(QStringLiteral("Ricezioni Dati"));
    LPorta->setText(QStringLiteral("Porta Seriale"));
    Memor->setText(QStringLiteral("Memorizza Dati"));
    Label2->setText(QStringLiteral("Nome File"));
}

void TRicevi::Button1Click() { accept(); }

void TRicevi::Button2Click() { reject(); }

void TRicevi::MemorClick() {
    NomeArchivio->setVisible(Memor->isChecked());
    Label2->setVisible(Memor->isChecked());
}

} // namespace hub
