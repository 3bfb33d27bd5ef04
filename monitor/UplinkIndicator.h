#pragma once
// The uplink's state in the main window, out of the way of the monitor's
// layout: a suffix on the window title ("[uplink North: online]"). The
// window keeps setting its titles as always; the suffix goes back on after
// each. The text comes from the uplink's status (UplinkStatus::text).
#include <QObject>
#include <QString>

class QWidget;

namespace hub {

class UplinkIndicator : public QObject {
public:
    explicit UplinkIndicator(QWidget* window);
    void setText(const QString& text);
    QString text() const { return m_text; }
    static QString suffixFor(const QString& text) { return QStringLiteral("  [") + text + QLatin1Char(']'); }

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void apply();
    QWidget* m_window;
    QString m_text;
    QString m_base; // the window's own title, without the suffix
    bool m_applying = false;
};

} // namespace hub
