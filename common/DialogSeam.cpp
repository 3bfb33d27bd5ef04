#include "common/DialogSeam.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <map>

namespace hub {

namespace {
bool g_unattended = false;
bool g_quitting = false;

std::map<QString, std::deque<QVariant>>& queues() {
    static std::map<QString, std::deque<QVariant>> q;
    return q;
}

bool toStderr() { return g_unattended || g_quitting; }

void writeStderr(const QString& text) {
    DialogSeam::shown() << QStringLiteral("stderr: ") + text;
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, qPrintable(text));
    std::fflush(stderr);
}
} // namespace

void DialogSeam::setUnattended(bool on) { g_unattended = on; }
bool DialogSeam::unattended() { return g_unattended; }
bool DialogSeam::isQuitting() { return g_quitting; }

void DialogSeam::quitting() {
    g_quitting = true;
    // Each one ends its own exec(), so the code that opened it carries on (and
    // finds the program quitting). Guarded: closing one may delete another.
    QList<QPointer<QDialog>> open;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<QDialog*>(w); d && d->isVisible() && d->isModal()) open << d;
    for (const QPointer<QDialog>& d : open)
        if (d) d->reject();
}

void DialogSeam::push(const QString& name, const QVariant& answer) {
    queues()[name].push_back(answer);
}

std::optional<QVariant> DialogSeam::take(const QString& name) {
    auto it = queues().find(name);
    if (it == queues().end() || it->second.empty()) return std::nullopt;
    QVariant v = it->second.front();
    it->second.pop_front();
    return v;
}

void DialogSeam::clear() {
    queues().clear();
    shown().clear();
    beeps() = 0;
    g_unattended = false;
    g_quitting = false;
}

int DialogSeam::pending() {
    int n = 0;
    for (const auto& [k, q] : queues()) n += static_cast<int>(q.size());
    return n;
}

QStringList& DialogSeam::shown() {
    static QStringList s;
    return s;
}

long long& DialogSeam::beeps() {
    static long long n = 0;
    return n;
}

int execDialog(QDialog* d, const QString& name) {
    if (auto a = DialogSeam::take(name)) return a->toInt();
    if (g_quitting) return QDialog::Rejected;
    return d->exec();
}

void beep() {
    ++DialogSeam::beeps();
    QApplication::beep();
}

bool startInstance(const QString& program, const QStringList& arguments) {
    DialogSeam::shown() << QStringLiteral("instance: ") + program + QLatin1Char(' ') + arguments.join(QLatin1Char(' '));
    if (auto a = DialogSeam::take(QStringLiteral("instance"))) return a->toBool();
    return QProcess::startDetached(program, arguments);
}

void showError(QWidget* parent, const QString& text) {
    if (toStderr()) return writeStderr(text);
    DialogSeam::shown() << QStringLiteral("error: ") + text;
    if (DialogSeam::take(QStringLiteral("error"))) return;
    QMessageBox::critical(parent, QString(), text);
}

void showInfo(QWidget* parent, const QString& title, const QString& text) {
    if (toStderr()) return writeStderr(text);
    DialogSeam::shown() << QStringLiteral("info: ") + text;
    if (DialogSeam::take(QStringLiteral("info"))) return;
    QMessageBox::information(parent, title, text);
}

bool askYesNo(QWidget* parent, const QString& title, const QString& text) {
    DialogSeam::shown() << QStringLiteral("question: ") + text;
    if (auto a = DialogSeam::take(QStringLiteral("question"))) return a->toBool();
    if (toStderr()) return false;
    return QMessageBox::question(parent, title, text) == QMessageBox::Yes;
}

QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) {
    if (auto a = DialogSeam::take(QStringLiteral("open-file"))) return a->toString();
    if (g_quitting) return {};
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) {
    if (auto a = DialogSeam::take(QStringLiteral("save-file"))) return a->toString();
    if (g_quitting) return {};
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

} // namespace hub
