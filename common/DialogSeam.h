#pragma once
// Every modal window, message box and file dialog of the programs goes through
// here, so that a test can set the next answer and no test ever blocks on a
// modal window. Without a queued answer the real dialog is shown.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

class QDialog;
class QWidget;

namespace hub {

class DialogSeam {
public:
    // Queue the answer for the next use of the named dialog.
    static void push(const QString& name, const QVariant& answer);
    static std::optional<QVariant> take(const QString& name);
    // Also leaves the unattended and quitting modes (for tests).
    static void clear();
    static int pending();
    // Every message shown (or answered by the seam), as "name: text", for tests.
    static QStringList& shown();
    // System beeps given since the last clear(): a test cannot hear them.
    static long long& beeps();

    // Unattended running (nobody at the screen): error and info boxes are
    // written to stderr instead of shown, and questions take their default
    // answer (no). Other dialogs still show (someone may be at the window).
    static void setUnattended(bool on);
    static bool unattended();
    // The program is ending (SIGTERM, SIGINT): open modal dialogs are closed
    // as if cancelled, and from now on no dialog shows and none waits;
    // boxes go to stderr. Cannot be undone.
    static void quitting();
    static bool isQuitting();
};

// A modal dialog: returns a queued answer (as the exec() result) without showing
// the dialog, or runs d->exec().
int execDialog(QDialog* d, const QString& name);

void beep(); // the system beep
// Starts another process of a program, detached; seam name "instance" (a queued bool).
bool startInstance(const QString& program, const QStringList& arguments);

// Message boxes. Seam name "error" / "info"; the answer is ignored. Written to
// stderr (and kept in shown() as "stderr: text") when unattended or quitting.
void showError(QWidget* parent, const QString& text);
void showInfo(QWidget* parent, const QString& title, const QString& text);
// Yes/No question, seam name "question": a queued bool answers it.
bool askYesNo(QWidget* parent, const QString& title, const QString& text);

// File dialogs. Seam names "open-file" and "save-file": a queued string is the
// chosen path (an empty string means cancelled).
QString openFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter);
QString saveFileName(QWidget* parent, const QString& caption, const QString& dir,
                     const QString& filter = QString());

} // namespace hub
