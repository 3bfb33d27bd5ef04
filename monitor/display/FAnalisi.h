#pragma once
// TAnalisi: the change list of one monitor element, read from the recording in
// use. The headings are separate labels lined up over the grid's columns.
#include "monitor/display/changefilter.h"

#include <QDialog>
#include <array>
#include <functional>

class QFrame;
class QLabel;
class QPushButton;
class QTableView;

namespace hub {

class TAnalisi : public QDialog {
    Q_OBJECT
public:
    explicit TAnalisi(QWidget* parent = nullptr);

    void applyItalianTexts();
    // White background behind the heading of the clicked element (L code).
    void highlightHeading(int l);
    // 16 columns, widths 180 and 30, rows 18 high, "Courier New" 11.
    void setupGrid();
    void setList(hub::ChangeList list);
    // The heading label over grid column 0..15.
    QLabel* heading(int column) const;

    QFrame* Panel1 = nullptr;
    QPushButton* SpeedButton1 = nullptr;
    QLabel* TextNomeArch = nullptr;
    QLabel* NomeArch = nullptr;
    QLabel* TextData = nullptr;
    QLabel* TextBarra = nullptr;
    std::array<QLabel*, 8> TextBeans{};
    QLabel* TextAlarm = nullptr;
    QLabel* TextTamper = nullptr;
    QLabel* TextFail = nullptr;
    QLabel* TextDisq = nullptr;
    QLabel* TextStb = nullptr;
    QLabel* TextAcceca = nullptr;
    QTableView* Grid = nullptr;
    hub::ChangeListModel* model = nullptr;

    void SpeedButton1Click();

private:
    void alignHeadings();
};

enum class ChangeListResult {
    NotShown,   // no recording in use or no element clicked: nothing happens
    OpenFailed, // "Cannot open file ..." was reported
    Shown,      // the list was shown and closed
};

// The change list for the monitor's click codes: builds the window, fills it
// from the recording and shows it modally (dialog name "change-list").
// nomeArch is the main window's NomeArch caption, dataFile the recording path.
// `inspect`, when given, sees the filled window just before it is shown.
ChangeListResult showChangeList(QWidget* parent, const QString& nomeArch, const QString& dataFile,
                                const QString& clickBarra, const QString& clickLed, bool italian,
                                const std::function<void(TAnalisi&)>& inspect = {});

} // namespace hub
