#include "monitor/analysis/ChartWindow.h"

#include "common/ClassicLook.h"
#include "common/DialogSeam.h"

#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace hub {

bool TChartWindow::assumeNoPrinter = false;

namespace {
constexpr int kClientWidth = 792;
constexpr int kClientHeight = 527;

QLabel* titleLabel(QWidget* parent, const char* name, int y, int h, int px, const QColor& c) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(6, y, kClientWidth - 12, h);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(px);
    f.setBold(true);
    l->setFont(f);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, c);
    l->setPalette(pal);
    return l;
}

QPushButton* ctrlButton(QWidget* parent, const char* name, const QString& text, int x) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(x, 18, 90, 30);
    return b;
}
} // namespace

TChartWindow::TChartWindow(QWidget* parent, const QString& caption) : QDialog(parent) {
    setWindowTitle(caption);
    setFixedSize(kClientWidth, kClientHeight);
    hub::look::greyWindow(this);

    LFile = titleLabel(this, "LFile", 2, 20, 15, Qt::white);
    LGruppo = titleLabel(this, "LGruppo", 23, 22, 16, Qt::yellow);

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setGeometry(5, 48, 782, 392);
    Panel2->setAutoFillBackground(true);
    QPalette white = Panel2->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel2->setPalette(white);
    Image1 = new QLabel(Panel2);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(1, 1, hub::kChartWidth, hub::kChartHeight);
    image_ = hub::newChartImage();
    Image1->setPixmap(QPixmap::fromImage(image_));

    ProgRead = new QProgressBar(this);
    ProgRead->setObjectName(QStringLiteral("ProgRead"));
    ProgRead->setGeometry(5, 442, 782, 14);
    ProgRead->setTextVisible(false);
    ProgRead->hide();

    PCtrl = new QFrame(this);
    PCtrl->setObjectName(QStringLiteral("PCtrl"));
    PCtrl->setGeometry(0, 460, kClientWidth, kClientHeight - 460);
    PCtrl->setFrameShape(QFrame::Panel);
    PCtrl->setFrameShadow(QFrame::Raised);
    PCtrl->setAutoFillBackground(true);
    QPalette silver = PCtrl->palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    PCtrl->setPalette(silver);
    Stampa = ctrlButton(PCtrl, "Stampa", QStringLiteral("Print"), 10);
    SpeedButton1 = ctrlButton(PCtrl, "SpeedButton1", QStringLiteral("Salva BMP"), 110);
    BExit = ctrlButton(PCtrl, "BExit", QStringLiteral("Exit"), kClientWidth - 100);

    Lgru = new QLabel(QStringLiteral("1"), this);
    Lgru->setObjectName(QStringLiteral("Lgru"));
    Lgru->hide();
    LOra = new QLabel(this);
    LOra->setObjectName(QStringLiteral("LOra"));
    LOra->hide();
    LOraNext = new QLabel(this);
    LOraNext->setObjectName(QStringLiteral("LOraNext"));
    LOraNext->hide();

    connect(Stampa, &QPushButton::clicked, this, &TChartWindow::StampaClick);
    connect(SpeedButton1, &QPushButton::clicked, this, &TChartWindow::SpeedButton1Click);
    connect(BExit, &QPushButton::clicked, this, &TChartWindow::BExitClick);
}

TChartWindow::~TChartWindow() = default;

void TChartWindow::setRecording(const QString& path) {
    recordingPath_ = path;
    LFile->setText(path);
}

void TChartWindow::setCouple(int couple) {
    couple_ = qBound(1, couple, 4);
    Lgru->setText(QString::number(couple_));
}

bool TChartWindow::italian() const {
    return QLocale::system().language() == QLocale::Italian &&
           QLocale::system().territory() == QLocale::Italy;
}

bool TChartWindow::openRecording() {
    QString error;
    if (recording_.open(recordingPath_, &error)) return true;
    hub::showError(this, (italian() ? QStringLiteral("Impossibile aprire %1: %2")
                                    : QStringLiteral("Cannot open %1: %2"))
                             .arg(recordingPath_, error));
    return false;
}

void TChartWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (e->spontaneous() || shownOnce_) return;
    shownOnce_ = true;
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
    FormShow();
}

void TChartWindow::CreaFileImg(hub::ChartMode mode) {
    drawn_ = false;
    built_ = false;
    ProgRead->setRange(0, static_cast<int>(std::min<qint64>(hub::gaugeMaximum(recording_.size()), INT_MAX)));
    ProgRead->setValue(0);
    ProgRead->show();
    LGruppo->setText(chartTitle());
    if (recording_.isOpen()) {
        const QString out = intermediatePath(mode);
        const hub::ActivityResult r = hub::buildActivityFile(
            recording_, couple_, chartRange(), out, [this](qint64 n) {
                ProgRead->setValue(static_cast<int>(std::min<qint64>(n, ProgRead->maximum())));
            });
        built_ = r.ok;
        if (!r.ok)
            hub::showError(this, (italian() ? QStringLiteral("Impossibile scrivere %1: %2")
                                            : QStringLiteral("Cannot write %1: %2"))
                                     .arg(out, r.error));
    }
    ProgRead->hide();
    update();
}

void TChartWindow::CreaImg(hub::ChartMode mode) {
    if (drawn_) return;
    drawn_ = true;
    // Without a fresh intermediate file an old one of the same name must not
    // be drawn as if it were this chart.
    if (built_)
        hub::drawActivityChart(image_, intermediatePath(mode), couple_, mode);
    else
        image_ = hub::newChartImage();
    Image1->setPixmap(QPixmap::fromImage(image_));
}

void TChartWindow::printTo(QPrinter& printer) {
    const QPixmap shot = grab();
    QPainter p;
    if (!p.begin(&printer)) {
        hub::showError(this, italian() ? QStringLiteral("Stampa non riuscita.")
                                       : QStringLiteral("Printing failed."));
        return;
    }
    const QRect page = p.viewport();
    QSize size = shot.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    p.setViewport(page.x(), page.y(), size.width(), size.height());
    p.setWindow(shot.rect());
    p.drawPixmap(0, 0, shot);
    p.end();
}

void TChartWindow::StampaClick() {
    const QPrinterInfo info = assumeNoPrinter ? QPrinterInfo() : QPrinterInfo::defaultPrinter();
    if (!info.isNull()) {
        QPrinter printer(info, QPrinter::HighResolution);
        printTo(printer);
        return;
    }
    const bool ita = italian();
    if (!hub::askYesNo(this, ita ? QStringLiteral("Stampa") : QStringLiteral("Print"),
                       ita ? QStringLiteral("Nessuna stampante disponibile. Salvare la finestra in un file PDF?")
                           : QStringLiteral("No printer is available. Save the window to a PDF file instead?")))
        return;
    QString name = hub::saveFileName(this, ita ? QStringLiteral("Salva PDF") : QStringLiteral("Save PDF"),
                                     QString(), QStringLiteral("PDF (*.pdf)"));
    if (name.isEmpty()) return;
    if (!name.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) name += QStringLiteral(".pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(name);
    printTo(printer);
}

void TChartWindow::SpeedButton1Click() {
    const QString name = hub::saveFileName(this, QStringLiteral("Salva BMP"), QString());
    if (name.isEmpty()) return;
    // An existing file is replaced under its own name; a new one gets ".bmp",
    // unless the typed name already has it.
    QString target = name;
    if (!QFileInfo::exists(name) && !name.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive))
        target += QStringLiteral(".bmp");
    QString error;
    if (!hub::saveChartImage(image_, target, "BMP", &recording_, &error))
        hub::showError(this, (italian() ? QStringLiteral("Impossibile salvare %1: %2")
                                        : QStringLiteral("Cannot save %1: %2"))
                                 .arg(target, error));
}

void TChartWindow::BExitClick() { close(); }

void TChartWindow::FormClose() { recording_.close(); }

void TChartWindow::done(int r) {
    FormClose();
    QDialog::done(r);
}

} // namespace hub
