#include "hubroom/SiteMonitor.h"

#include "hubroom/roomtexts.h"
#include "monitor/display/zoom.h"
#include "monitor/ricevidati.h"
#include "monitor/settings/settingsdecoders.h"

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

void SiteMonitor::feed(const Site& s) {
    bool changed = false;
    if (s.settings && (s.settings->block != appliedBlock_ || s.settings->kind != appliedKind_)) {
        // New settings: the monitor is laid out again from the block, as at
        // the site when its hub sends one.
        const SettingsMsg& m = *s.settings;
        resetDisplay(monitor_->model(), hub_, true, false);
        if (isSwHub(m.kind)) {
            std::array<std::uint8_t, kSwBlockSize> b{};
            std::copy_n(m.block.begin(), kSwBlockSize, b.begin());
            RiceviSet_SW(monitor_->model(), hub_, m.kind, b, false);
        } else {
            std::array<std::uint8_t, kTcBlockSize> b{};
            std::copy_n(m.block.begin(), kTcBlockSize, b.begin());
            RiceviSet_TC(monitor_->model(), hub_, m.kind, b, false, nullptr);
        }
        appliedBlock_ = m.block;
        appliedKind_ = m.kind;
        appliedState_.reset();
        changed = true;
    }
    if (s.state && (!appliedState_ || s.state->record != *appliedState_ || s.state->seq != appliedSeq_)) {
        RiceviDati(monitor_->model(), hub_, s.state->record, false, false, false);
        appliedState_ = s.state->record;
        appliedSeq_ = s.state->seq;
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
