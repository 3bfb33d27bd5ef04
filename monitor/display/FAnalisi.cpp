#include "monitor/display/FAnalisi.h"

#include "common/ClassicLook.h"
#include "common/DialogSeam.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTableView>

namespace hub {


namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QColor kMaroon(0x80, 0x00, 0x00);

constexpr int kHeadingTop = 35;
constexpr int kHeadingHeight = 17;

// The EXIT button's picture: an open door with an arrow going out.
QIcon exitPicture() {
    QPixmap pm(24, 24);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1.5));
    p.setBrush(QColor(0x80, 0x50, 0x20));
    p.drawRect(QRectF(3, 2, 10, 20));
    p.setPen(QPen(QColor(0xC0, 0x00, 0x00), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(10, 12), QPointF(21, 12));
    p.drawLine(QPointF(17, 8), QPointF(21, 12));
    p.drawLine(QPointF(17, 16), QPointF(21, 12));
    return QIcon(pm);
}
} // namespace

TAnalisi::TAnalisi(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Analisi"));
    setWindowTitle(QStringLiteral("TALVIRE ZEMBRA : Analyse DATA"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(670, 549);
    setAutoFillBackground(true);
    look::setColour(this, QPalette::Window, kSilver);

    Panel1 = look::panel(this, "Panel1", QRect(0, 0, 670, 52));

    const QFont arial13 = look::pixelFont(QStringLiteral("Arial"), 13);
    TextNomeArch = look::label(Panel1, "TextNomeArch", QStringLiteral("File : "),
                               QRect(8, 8, 34, 16), arial13, kMaroon);
    NomeArch = look::label(Panel1, "NomeArch", QStringLiteral("---------"),
                           QRect(42, 8, 490, 16), arial13, kMaroon);

    SpeedButton1 = new QPushButton(exitPicture(), QStringLiteral("EXIT"), Panel1);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setGeometry(541, 0, 68, 33);
    SpeedButton1->setFlat(true);
    SpeedButton1->setAutoDefault(false);
    connect(SpeedButton1, &QPushButton::clicked, this, &TAnalisi::SpeedButton1Click);

    const QFont courier15 = look::pixelFont(QStringLiteral("Courier New"), 15);
    auto head = [&](const char* name, const QString& text, const QString& hint) {
        QLabel* l = look::label(Panel1, name, text, QRect(0, kHeadingTop, 30, kHeadingHeight),
                                courier15, Qt::black, Qt::AlignCenter);
        l->setToolTip(hint);
        return l;
    };
    TextData = head("TextData", QStringLiteral("Date - Time"), QString());
    TextBarra = head("TextBarra", QStringLiteral("N"), QStringLiteral("Column Number "));
    for (int j = 0; j < 8; ++j)
        TextBeans[static_cast<size_t>(j)] =
            head(QStringLiteral("TextBeans%1").arg(j + 1).toLatin1().constData(),
                 QString::number(j + 1), QStringLiteral("Beam %1").arg(j + 1));
    TextAlarm = head("TextAlarm", QStringLiteral("A"), QStringLiteral("Alarm"));
    TextTamper = head("TextTamper", QStringLiteral("T"), QStringLiteral("Tamper"));
    TextFail = head("TextFail", QStringLiteral("F"), QStringLiteral("Failure"));
    TextDisq = head("TextDisq", QStringLiteral("D"), QStringLiteral("Disqual."));
    TextStb = head("TextStb", QStringLiteral("S"), QStringLiteral("Standby"));
    TextAcceca = head("TextAcceca", QStringLiteral("B"), QStringLiteral("Blind"));

    model = new ChangeListModel(this);
    Grid = new QTableView(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setGeometry(0, 52, 670, 549 - 52);
    Grid->setFont(QFont(QStringLiteral("Arial")));
    Grid->horizontalHeader()->hide();
    Grid->verticalHeader()->hide();
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setWordWrap(false);
    Grid->setCornerButtonEnabled(false);
    Grid->setModel(model);
    alignHeadings();

    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
}

QLabel* TAnalisi::heading(int column) const {
    if (column == 0) return TextData;
    if (column == 1) return TextBarra;
    if (column >= 2 && column <= 9) return TextBeans[static_cast<size_t>(column - 2)];
    const std::array<QLabel*, 6> status{TextAlarm, TextTamper, TextFail,
                                        TextDisq,  TextStb,    TextAcceca};
    if (column >= 10 && column <= 15) return status[static_cast<size_t>(column - 10)];
    return nullptr;
}

void TAnalisi::applyItalianTexts() {
    setWindowTitle(QStringLiteral("TALVIRE ZEMBRA : Analisi Ricezione"));
    TextData->setText(QStringLiteral("Data - Ora"));
    TextBarra->setToolTip(QStringLiteral("Numero Barra"));
    for (int j = 0; j < 8; ++j)
        TextBeans[static_cast<size_t>(j)]->setToolTip(QStringLiteral("Raggio %1").arg(j + 1));
}

void TAnalisi::highlightHeading(int l) {
    // L = 0: the barrier number or couple letter; 1..8 beams; 9..14 status LEDs.
    QLabel* h = nullptr;
    if (l == 0) h = TextBarra;
    else if (l >= 1 && l <= 14) h = heading(l + 1);
    if (!h) return;
    h->setAutoFillBackground(true);
    look::setColour(h, QPalette::Window, Qt::white);
}

void TAnalisi::setupGrid() {
    QFont f(QStringLiteral("Courier New"));
    f.setPointSize(11);
    Grid->setFont(f);
    QHeaderView* cols = Grid->horizontalHeader();
    QHeaderView* rows = Grid->verticalHeader();
    cols->setMinimumSectionSize(1);
    rows->setMinimumSectionSize(1);
    cols->setSectionResizeMode(QHeaderView::Fixed);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    cols->setDefaultSectionSize(30);
    rows->setDefaultSectionSize(18);
    Grid->setColumnWidth(0, 180);
    alignHeadings();
}

void TAnalisi::setList(ChangeList list) {
    model->setList(std::move(list));
    alignHeadings();
}

void TAnalisi::alignHeadings() {
    // Each heading spans its column exactly, so the captions sit centred over it.
    const int x0 = Grid->x() + Grid->frameWidth();
    for (int c = 0; c < kChangeListColumns; ++c) {
        QLabel* h = heading(c);
        const int w = Grid->columnWidth(c);
        if (w <= 0) continue;
        h->setGeometry(x0 + Grid->columnViewportPosition(c), kHeadingTop, w, kHeadingHeight);
    }
}

void TAnalisi::SpeedButton1Click() { accept(); }


ChangeListResult showChangeList(QWidget* parent, const QString& nomeArch, const QString& dataFile,
                                const QString& clickBarra, const QString& clickLed, bool italian,
                                const std::function<void(TAnalisi&)>& inspect) {
    if (nomeArch.isEmpty() || clickBarra.isEmpty()) return ChangeListResult::NotShown;
    bool okB = false, okL = false;
    const int b = clickBarra.trimmed().toInt(&okB);
    const int l = clickLed.trimmed().toInt(&okL);
    // The monitor only stores decimal codes; anything else is no element.
    if (!okB || !okL) return ChangeListResult::NotShown;

    TAnalisi w(parent);
    if (italian) w.applyItalianTexts();
    w.NomeArch->setText(nomeArch);
    w.highlightHeading(l);
    w.setupGrid();

    ChangeList list;
    QString error;
    if (!list.load(dataFile, b, l, &error)) {
        showError(parent, error);
        return ChangeListResult::OpenFailed;
    }
    w.setList(std::move(list));
    if (inspect) inspect(w);
    execDialog(&w, QStringLiteral("change-list"));
    return ChangeListResult::Shown;
}

} // namespace hub
