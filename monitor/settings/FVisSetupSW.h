#pragma once
// TVisSetupSW: the options byte of an SW hub's settings block as eight
// two-way switches. Read-only: the switch panel is disabled.
#include <QDialog>
#include <array>
#include <cstdint>

class QFrame;
class QLabel;
class QPushButton;

namespace hub {
class TRxSwitch;
}

class TVisSetupSW : public QDialog {
    Q_OBJECT
public:
    explicit TVisSetupSW(QWidget* parent = nullptr);

    // Fills the window from the block and the hub identification (LVersHUB).
    void fill(const std::array<std::uint8_t, 9>& sw, const QString& versHub);

    QLabel* PName = nullptr;
    QFrame* PA = nullptr;
    QPushButton* SBEXIT = nullptr;

    struct Row {
        hub::TRxSwitch* sw = nullptr;
        QLabel* off = nullptr; // left label, tells the state when the switch is off
        QLabel* on = nullptr;  // right label, tells the state when the switch is on
    };
    // Top to bottom: SwMem, SwLeds, SwLast, SwFirst, SwTest, SwCount, SwCross, SwInternal.
    std::array<Row, 8> rows{};

    void SBEXITClick();

private:
    void showRowState(int row);
};

// Builds TVisSetupSW for the block and shows it modally (dialog name "setup-sw").
void VisuaSetup_SW(QWidget* parent, const std::array<std::uint8_t, 9>& sw, const QString& versHub);
