#include "monitor/display/FHelp.h"

#include "common/DialogSeam.h"
#include "common/colours.h"
#include "monitor/version.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace hub {

namespace {

QColor qc(Rgb c) { return QColor::fromRgb(QRgb(0xFF000000u | c)); }

// A sample LED drawn like the monitor's: ring, lens inset by 3, three glints.
class SampleLed : public QWidget {
public:
    SampleLed(QWidget* parent, int x, int y, Rgb lens, Rgb ring)
        : QWidget(parent), lens_(lens), ring_(ring) {
        setGeometry(x, y, 26, 26);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(qc(ring_));
        p.drawEllipse(QRectF(0.5, 0.5, 25, 25));
        p.setPen(QPen(Qt::black, 2));
        p.setBrush(qc(lens_));
        p.drawEllipse(QRectF(4, 4, 18, 18));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(6, 5, 6, 9));
        p.drawEllipse(QRectF(9, 4, 5, 8));
        p.drawEllipse(QRectF(5, 8, 5, 8));
    }

private:
    Rgb lens_, ring_;
};

QFrame* panel(QWidget* parent, const char* name, int top, int height) {
    auto* f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setFrameShape(QFrame::Panel);
    f->setFrameShadow(QFrame::Raised);
    f->setGeometry(4, top, 649, height);
    return f;
}

QFont arial(int px, bool bold = false) {
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

struct Caption {
    const char* name;
    const char* english;
    const char* italian;
};

// The nine legend captions and five explanations, English and Italian.
const Caption kCaptions[] = {
    {"LRaggioOff", "Bean disabled", "Raggio disattivato"},
    {"LRaggioON", "Bean enabled", "Raggio attivo"},
    {"LRaggioFail", "Bean fail", "Raggio fallito"},
    {"LAlarmOff", "Alarm, Tamper, Failure and Blinded", "Allarme - Tamper - Failure - Accecato"},
    {"LAlarmOn", "Alarms ON", "Allarmi in corso"},
    {"LDisqOff", "Disqualify led", "Led di disqualifica"},
    {"LDisqOn", "Disqualify ON", "Disqualifica in corso"},
    {"LStbOff", "Standby led", "Led di standby"},
    {"LStbOn", "Standby ON", "Standby in corso"},
    {"LLeds",
     "If led's border is white it means that the led has been on a 'ON' status. To know how many times has "
     "gone  'ON' move the mouse over the led and leave it for few seconds..",
     "Qualora un led ha il contorno bianco significa che tale led si è acceso. Per sapere quante volte è "
     "sufficiente posizionarvisi sopra con il mouse e dopo due secondi apparirà il quantitativo."},
    {"LClickLeds", "Click here to show led's changes",
     "Cliccando sul led interessato si visualizza l' elenco dei cambiamenti di stato di quel led"},
    {"LClickRaggio",
     "Click here to show the changes of the couple of leds. \nIf red = 50mt, if blue 25 mt, if green not exist.",
     "Cliccando sul raggio si visualizzano i cambiamenti di quella coppia di led. Se è rosso la portata è 50mt, "
     "se è blue 25mt e se è verde la portata non è indicata"},
    {"LClickNum", "Click here to show barrier's changes",
     "Cliccando sul numero si visualizzano i cambiamenti di stato di tutti i led della barra interessata"},
    {"LClickLet", "Click here to show the changes of the couple of barriers ",
     "Cliccando sulla lettera della coppia si visualizzano tutti i cambiamenti di stato di tutti i led della "
     "coppia"},
};

QString english(const char* name) {
    for (const Caption& c : kCaptions)
        if (qstrcmp(c.name, name) == 0) return QString::fromUtf8(c.english);
    return {};
}

} // namespace

THelp::THelp(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Help"));
    setWindowTitle(QStringLiteral("TALVIRE ZEMBRA ---- Vers "));
    setFixedSize(657, 494);
    setModal(true);

    // Colour legend.
    QFrame* p5 = panel(this, "Panel5", 8, 209);
    auto* beans = new QFrame(p5);
    beans->setObjectName(QStringLiteral("PBeans"));
    beans->setGeometry(8, 9, 156, 103);
    const struct {
        QWidget* parent;
        int x, y;
        Rgb lens;
        const char* name;
        int textWidth;
    } rows[] = {
        {beans, 2, 2, colour::Silver, "LRaggioOff", 124},
        {beans, 2, 37, colour::Green, "LRaggioON", 124},
        {beans, 2, 72, colour::Lime, "LRaggioFail", 124},
        {p5, 174, 9, colour::Maroon, "LAlarmOff", 134},
        {p5, 174, 59, colour::Red, "LAlarmOn", 134},
        {p5, 174, 109, colour::Olive, "LDisqOff", 134},
        {p5, 174, 159, colour::Yellow, "LDisqOn", 134},
        {p5, 10, 131, colour::Navy, "LStbOff", 124},
        {p5, 10, 166, colour::Aqua, "LStbOn", 124},
    };
    for (const auto& r : rows) {
        new SampleLed(r.parent, r.x, r.y, r.lens, colour::Gray);
        legend(r.parent, r.name, r.x + 30, r.y - 6, r.textWidth, 38, english(r.name));
    }
    const Rgb offs[4] = {colour::Green, colour::Maroon, colour::Olive, colour::Navy};
    const Rgb ons[4] = {colour::Lime, colour::Red, colour::Yellow, colour::Aqua};
    for (int c = 0; c < 4; ++c) {
        new SampleLed(p5, 410 + 34 * c, 12, offs[c], colour::White);
        new SampleLed(p5, 410 + 34 * c, 44, ons[c], colour::White);
    }
    QLabel* leds = legend(p5, "LLeds", 344, 80, 257, 121, english("LLeds"));
    leds->setFont(arial(15));
    leds->setAlignment(Qt::AlignCenter);

    // LEDs and their change list.
    QFrame* p4 = panel(this, "Panel4", 217, 63);
    const Rgb row[8] = {colour::Green,  colour::Lime,   colour::Maroon, colour::Red,
                        colour::Olive, colour::Yellow, colour::Navy,   colour::Aqua};
    for (int c = 0; c < 8; ++c) new SampleLed(p4, 200 + 32 * c, 5, row[c], colour::White);
    explanation(p4, "LClickLeds", english("LClickLeds"), 32);

    // Beam indicators.
    QFrame* p6 = panel(this, "Panel6", 280, 69);
    const Rgb beams[3] = {colour::Green, colour::Navy, colour::Red};
    for (int c = 0; c < 3; ++c) {
        auto* b = new QFrame(p6);
        b->setGeometry(301 + 20 * c, 8, 12, 8);
        b->setAutoFillBackground(true);
        QPalette pal = b->palette();
        pal.setColor(QPalette::Window, qc(beams[c]));
        b->setPalette(pal);
    }
    explanation(p6, "LClickRaggio", english("LClickRaggio"), 18);

    // Barrier numbers and couple letters.
    const struct {
        const char* name;
        int top, height;
        const char* caption;
        Rgb colour;
        const char* text;
    } heads[] = {
        {"Panel3", 349, 49, "1 - 2 - 3 - 4 - 5 - 6 - 7 - 8", colour::Navy, "LClickNum"},
        {"Panel1", 398, 48, "A - B - C - D", colour::Maroon, "LClickLet"},
    };
    for (const auto& h : heads) {
        QFrame* p = panel(this, h.name, h.top, h.height);
        auto* cap = new QLabel(QString::fromLatin1(h.caption), p);
        cap->setObjectName(QString::fromLatin1(h.name) + QStringLiteral("Caption"));
        cap->setFont(arial(16, true));
        cap->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        cap->setGeometry(2, 3, 645, 20);
        QPalette pal = cap->palette();
        pal.setColor(QPalette::WindowText, qc(h.colour));
        cap->setPalette(pal);
        explanation(p, h.text, english(h.text), 24);
    }

    auto* exit = new QPushButton(QStringLiteral("EXIT"), this);
    exit->setObjectName(QStringLiteral("SBExit"));
    exit->setGeometry(280, 452, 97, 38);
    connect(exit, &QPushButton::clicked, this, &THelp::SBExitClick);
}

QLabel* THelp::legend(QWidget* parent, const char* name, int x, int y, int w, int h, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(arial(13));
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setGeometry(x, y, w, h);
    return l;
}

QLabel* THelp::explanation(QWidget* parent, const char* name, const QString& text, int top) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
    // At the bottom of its panel, under the samples.
    l->setGeometry(4, top, parent->width() - 8, parent->height() - top - 2);
    fit(l);
    return l;
}

void THelp::fit(QLabel* l) {
    // 15 px unless the text would spill out of its box (some Italian texts are
    // longer than the panels are wide): then as large as still fits.
    for (int px = 15; px >= 9; --px) {
        l->setFont(arial(px));
        const QRect need = l->fontMetrics().boundingRect(QRect(0, 0, l->width(), 10000),
                                                         Qt::TextWordWrap | Qt::AlignHCenter, l->text());
        if (need.height() <= l->height()) break;
    }
}

void THelp::setItalian() {
    for (const Caption& c : kCaptions)
        if (auto* l = findChild<QLabel*>(QString::fromLatin1(c.name))) {
            l->setText(QString::fromUtf8(c.italian));
            if (l->alignment() & Qt::AlignBottom) fit(l);
        }
}

void THelp::setCompact(bool compact) {
    if (auto* beans = findChild<QFrame*>(QStringLiteral("PBeans"))) beans->setVisible(!compact);
}

void THelp::SBExitClick() { accept(); }

THelp* makeHelp(QWidget* parent, bool italian, bool compact) {
    auto* help = new THelp(parent);
    if (italian) help->setItalian();
    if (compact) help->setCompact(true);
    help->setWindowTitle(help->windowTitle() + QString::fromLatin1(kProgramVersion));
    return help;
}

void BtnHelpShow(QWidget* parent, bool italian, bool compact) {
    THelp* help = makeHelp(parent, italian, compact);
    execDialog(help, QStringLiteral("help"));
    delete help;
}

} // namespace hub
