#pragma once
// THelp: the legend window that explains the monitor's colours, the white
// ring, the ON counter tool tip and what each click shows.
#include <QDialog>

class QLabel;
class QFrame;

namespace hub {

class THelp : public QDialog {
    Q_OBJECT
public:
    explicit THelp(QWidget* parent = nullptr);

    // Italian captions for the nine legends and five explanations.
    void setItalian();
    // In compact mode no beams are shown, so their legend goes too.
    void setCompact(bool compact);

    void SBExitClick();

private:
    QLabel* legend(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text);
    QLabel* explanation(QWidget* parent, const char* name, const QString& text, int top);
    static void fit(QLabel* l);
};

// The window as BtnHelpClick opens it: language, zoom mode, title with the
// program version.
THelp* makeHelp(QWidget* parent, bool italian, bool compact);

// BtnHelpClick: builds the window for the language and zoom mode, shows it
// modally (through the dialog seam, name "help") and frees it.
void BtnHelpShow(QWidget* parent, bool italian, bool compact);

} // namespace hub
