#pragma once
// TFTest: hubtest's main window, a wiring picture of the installation from which
// the hub's outputs and inputs are tested.
#include "hubtest/testlink.h"

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QLabel;
class QPushButton;

namespace hub {

class TArrow;
class TBarPicture;
class TBoard;
class TRxSwitch;
class TTerminal;
class TWire;

class TFTest : public QWidget {
    Q_OBJECT
public:
    TFTest(TestPort& port, SteadyClock& clock, QWidget* parent = nullptr);
    ~TFTest() override;

    TestLink& link() { return link_; }

    // Handlers, connected to their controls.
    void SbConnectClick();
    void SBEXITClick();
    void RS_ALLClick() { outputClick(TestOutput::All); }
    void RS_AL0Click() { outputClick(TestOutput::Al0); }
    void RS_AL1Click() { outputClick(TestOutput::Al1); }
    void RS_AL2Click() { outputClick(TestOutput::Al2); }
    void RS_AL3Click() { outputClick(TestOutput::Al3); }
    void RS_TAMClick() { outputClick(TestOutput::Tam); }
    void RS_DISClick() { outputClick(TestOutput::Dis); }
    void RS_FAIClick() { outputClick(TestOutput::Fai); }
    void SB_BARClick();
    void SB_STBClick();

    bool ChiediPorta();
    bool SettaPorta();
    void Conferma(const QString& message);
    void FermaRic(bool show);

    // The name taken from the port dialog, handed to SettaPorta.
    QString chosenPort() const { return chosen_; }

protected:
    void closeEvent(QCloseEvent* e) override; // FormClose
    bool eventFilter(QObject* o, QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    struct OutputRow {
        TRxSwitch* sw = nullptr;
        bool pressFlipped = false; // the press showed the new position already
        std::vector<TTerminal*> terminals;
        std::vector<TWire*> wires;
        std::vector<TArrow*> arrows;
    };

    void build();
    void buildHubBoard();
    void buildZoneBoard();
    void buildBelowBoard();
    void buildBarriers();
    void buildBottomPanel();
    void outputClick(TestOutput k);
    void showPicture(); // mirror the link's picture state
    // Runs a handler body; line errors go to the error box as the serial
    // component words them.
    void guarded(const std::function<void()>& f);

    TTerminal* terminal(QWidget* parent, const QString& name, int x, int y);
    TWire* wire(QWidget* parent, const QString& name, QRect r, QColor pen = Qt::black);
    TArrow* arrow(QWidget* parent, const QString& name, int cx, int y, bool up);
    QLabel* label(QWidget* parent, const QString& name, const QString& text, QRect r, int px,
                  QColor colour, bool bold = true, Qt::Alignment a = Qt::AlignCenter);

    TestLink link_;
    TestPort& port_;
    QString chosen_;
    bool centred_ = false;

    TBoard* Panel18 = nullptr;
    TBoard* Panel16 = nullptr;
    QWidget* PComm = nullptr;
    QPushButton* SbConnect = nullptr;
    QLabel* LVersHub = nullptr;
    QPushButton* SBEXIT = nullptr;
    QPushButton* SB_BAR = nullptr;
    QPushButton* SB_STB = nullptr;
    TWire* S_POS = nullptr;
    TWire* S_NEG = nullptr;
    std::array<OutputRow, OutputCount> rows_;
    std::array<TTerminal*, 4> PStb{};
    std::array<TWire*, 4> S_Stb{};
    std::array<TArrow*, 4> L_Stb{};
    std::array<TBarPicture*, 8> I_Barra{};
    std::array<QLabel*, 8> L_ID{};
    std::array<TWire*, 8> S_ID{};
    std::array<QLabel*, 4> L_Zone{};
};

} // namespace hub
