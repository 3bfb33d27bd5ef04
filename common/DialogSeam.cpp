#include "common/DialogSeam.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <deque>
#include <map>

namespace hub {

namespace {
std::map<QString, std::deque<QVariant>>& queues() {
    static std::map<QString, std::deque<QVariant>> q;
    return q;
}
} // namespace

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
    DialogSeam::shown() << QStringLiteral("error: ") + text;
    if (DialogSeam::take(QStringLiteral("error"))) return;
    QMessageBox::critical(parent, QString(), text);
}

void showInfo(QWidget* parent, const QString& title, const QString& text) {
    DialogSeam::shown() << QStringLiteral("info: ") + text;
    if (DialogSeam::take(QStringLiteral("info"))) return;
    QMessageBox::information(parent, title, text);
}

bool askYesNo(QWidget* parent, const QString& title, const QString& text) {
    DialogSeam::shown() << QStringLiteral("question: ") + text;
    if (auto a = DialogSeam::take(QStringLiteral("question"))) return a->toBool();
    return QMessageBox::question(parent, title, text) == QMessageBox::Yes;
}

QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) {
    if (auto a = DialogSeam::take(QStringLiteral("open-file"))) return a->toString();
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter) {
    if (auto a = DialogSeam::take(QStringLiteral("save-file"))) return a->toString();
    return QFileDialog::getSaveFileName(parent, caption, dir, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

} // namespace hub
