#include "hubroom/SiteMonitor.h"

#include "hubroom/roomtexts.h"
#include "monitor/display/zoom.h"

#include <QPalette>
#include <QVBoxLayout>

namespace hub::room {

SiteMonitor::SiteMonitor(const QString& site, bool italian, QWidget* parent)
    : QWidget(parent, Qt::Window), site_(site), italian_(italian) {
    setWindowTitle(QStringLiteral("hubroom - %1").arg(site));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(4, 4, 4, 4);
    caption_ = new QLabel(this);
    lay->addWidget(caption_);
    // The monitor places itself in its panel from its model, as in hubmonitor.
    panel_ = new QWidget(this);
    panel_->setAutoFillBackground(true);
    QPalette pal = panel_->palette();
    pal.setColor(QPalette::Window, QColor(colour::Silver));
    panel_->setPalette(pal);
    monitor_ = new TMonitor(panel_);
    monitor_->SetDimeLed(29);
    monitor_->setItalian(italian);
    resetDisplay(monitor_->model(), hub_, true, false);
    monitor_->refresh();
    fitPanel();
    lay->addWidget(panel_);
}

void SiteMonitor::fitPanel() {
    panel_->setFixedSize(monitor_->x() + monitor_->width() + 1, monitor_->y() + monitor_->height() + 1);
    adjustSize();
}

void SiteMonitor::feed(const Site& s, const SiteModel* m) {
    bool changed = false;
    if (m && !(m->model == monitor_->model() && m->hub.versHub == hub_.versHub)) {
        // The room keeps every site's model up to date; the window shows a copy
        // in its own language.
        monitor_->model() = m->model;
        monitor_->setItalian(italian_);
        hub_ = m->hub;
        changed = true;
    }
    const QString text = QStringLiteral("%1   %2   %3   %4")
                             .arg(s.name, s.silent ? tr2(italian_, "SILENT", "SILENTE") : statusText(s.status, italian_),
                                  linkText(s.link, italian_), s.hubText);
    if (caption_->text() != text) caption_->setText(text);
    if (changed) {
        monitor_->refresh();
        fitPanel();
    }
}

} // namespace hub::room
