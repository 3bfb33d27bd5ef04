#pragma once
// TVisSetupTC: a TC hub's settings record as four couple panels A..D with the
// options, the alarm delays and the alarm time. Read-only.
#include <QDialog>
#include <QLabel>
#include <array>
#include <cstdint>

class QFrame;
class QPushButton;

// The vertical " D I S A B L E D " behind a couple's panels: one letter a line
// with a black shadow 2 px to the right and below.
class TDisabledText : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override;
};

class TVisSetupTC : public QDialog {
    Q_OBJECT
public:
    explicit TVisSetupTC(QWidget* parent = nullptr);

    // Fills the window from the 70-byte record and the hub identification.
    void fill(const std::array<std::uint8_t, 70>& tc, const QString& versHub);

    struct Couple {
        QFrame* panel = nullptr;          // PA .. PD
        QLabel* letter = nullptr;         // LCoppiaA ..
        TDisabledText* disabled = nullptr; // LDisabA ..
        QFrame* set1 = nullptr;           // PSetA1 ..: the option texts
        QLabel *dir = nullptr, *dis = nullptr, *ald = nullptr, *led = nullptr, *mem = nullptr;
        QFrame* set2 = nullptr;           // PSetA2 ..: the delays
        QLabel *one = nullptr, *more = nullptr;
        QLabel* highSpeed = nullptr;      // LHSpeedA, LHSpeedB; none for C and D
        QFrame* set3 = nullptr;           // PSetA3 ..: the time of alarm
        QLabel *alarm = nullptr, *dbe = nullptr;
    };
    std::array<Couple, 4> couples{};

    QLabel* PName = nullptr;
    QPushButton* SBEXIT = nullptr;

    void SBEXITClick();
};

// Builds TVisSetupTC for the record and shows it modally (dialog name "setup-tc").
void VisuaSetup_TC(QWidget* parent, const std::array<std::uint8_t, 70>& tc,
                   const QString& versHub);
