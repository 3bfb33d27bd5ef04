#include "monitor/FStop.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

namespace hub {

TStop::TStop(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowStaysOnTopHint |
                   Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // No caption text: an empty title would make the platform show the
    // application's name instead, a blank shows nothing.
    setWindowTitle(QStringLiteral(" "));
    setFixedSize(433, 198);
    setModal(true);

    Label1 = new QLabel(QStringLiteral("STOP ?"), this);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(32);
    f.setBold(true);
    Label1->setFont(f);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setStyleSheet(QStringLiteral("color: #800000;"));
    Label1->setGeometry(0, 30, 433, 50);

    BNO = new QPushButton(QStringLiteral("NO"), this);
    BNO->setObjectName(QStringLiteral("BNO"));
    BNO->setGeometry(60, 120, 120, 40);
    BSI = new QPushButton(QStringLiteral("YES"), this);
    BSI->setObjectName(QStringLiteral("BSI"));
    BSI->setGeometry(253, 120, 120, 40);

    LOK = new QLabel(QStringLiteral("KO"), this);
    LOK->setObjectName(QStringLiteral("LOK"));
    LOK->hide();

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(5000);

    connect(BNO, &QPushButton::clicked, this, &TStop::BNOClick);
    connect(BSI, &QPushButton::clicked, this, &TStop::BSIClick);
    connect(Timer1, &QTimer::timeout, this, &TStop::Timer1Timer);
    BNO->setDefault(true);
}

void TStop::keyPressEvent(QKeyEvent* e) {
    // A dialog closes on Escape as if by its window button, which means "stop".
    // ESC is what asked the question, so a second ESC must not answer it.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TStop::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // The time-out runs while the question is on screen.
    if (!e->spontaneous()) Timer1->start();
}

void TStop::BNOClick() {
    Timer1->stop();
    LOK->setText(QStringLiteral("NO"));
    done(ResultNO);
}

void TStop::BSIClick() {
    Timer1->stop();
    LOK->setText(QStringLiteral("SI"));
    done(ResultSI);
}

void TStop::Timer1Timer() {
    LOK->setText(QStringLiteral("NO"));
    done(ResultNO);
}

} // namespace hub
