#pragma once
// TStop: "STOP ?" asked before an acquisition ends. The answer is left in the
// caption of LOK: "NO" (keep going), "SI" (stop) or "KO" (closed by the window
// button, which the caller treats as stop). Silence for Timer1's interval counts
// as "NO".
#include <QDialog>

class QLabel;
class QPushButton;
class QTimer;

namespace hub {

class TStop : public QDialog {
    Q_OBJECT
public:
    // exec() results, so that an answer given through the dialog seam as a
    // number maps onto the same captions.
    enum Result { ResultKO = 0, ResultSI = 1, ResultNO = 2 };

    explicit TStop(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;
    QPushButton* BNO = nullptr;
    QPushButton* BSI = nullptr;
    QLabel* LOK = nullptr; // hidden, "KO" until a button or the timer answers
    QTimer* Timer1 = nullptr;

    void BNOClick();
    void BSIClick();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

} // namespace hub
