#include "monitor/UplinkIndicator.h"

#include <QEvent>
#include <QWidget>

namespace hub {

UplinkIndicator::UplinkIndicator(QWidget* window) : QObject(window), m_window(window) {
    m_base = window->windowTitle();
    window->installEventFilter(this);
}

void UplinkIndicator::setText(const QString& text) {
    if (text == m_text) return;
    const QString oldSuffix = suffixFor(m_text);
    if (!m_text.isEmpty() && m_base.endsWith(oldSuffix)) m_base.chop(oldSuffix.size());
    m_text = text;
    apply();
}

bool UplinkIndicator::eventFilter(QObject* o, QEvent* e) {
    if (o == m_window && e->type() == QEvent::WindowTitleChange && !m_applying) {
        m_base = m_window->windowTitle();
        const QString suffix = suffixFor(m_text);
        if (!m_text.isEmpty() && m_base.endsWith(suffix)) m_base.chop(suffix.size());
        apply();
    }
    return false;
}

void UplinkIndicator::apply() {
    m_applying = true;
    m_window->setWindowTitle(m_text.isEmpty() ? m_base : m_base + suffixFor(m_text));
    m_applying = false;
}

} // namespace hub
