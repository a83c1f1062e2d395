#pragma once

// Answers the modal dialogs that the window opens, as a user would, and records what they showed.
// Installed on the application before any window is built: the window's constructor may already show boxes.

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>

class QDialog;
class QFileDialog;

struct ShownDialog
{
    QString className;       // "QMessageBox", "QFileDialog", ...
    QString title;           // window title (caption of a file dialog)
    QString text;            // message box text
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;     // message box button texts
    QStringList nameFilters; // file dialog filters
    QString directory;       // file dialog start directory
    QString styleSheet;      // the dialog's own sheet
    QObject *parent = nullptr;
    bool timedOut = false;   // left open and rejected by the watchdog
};

class DialogResponder : public QObject
{
    Q_OBJECT

public:
    static DialogResponder &instance();
    void install();

    // The recorded dialogs, oldest first.
    QList<ShownDialog> shown() const { return m_shown; }
    QList<ShownDialog> shownMessageBoxes() const;
    void clear();

    // The button pressed on message boxes from now on (Ok by default; Qt's own "replace file?" question gets Yes).
    void setMessageBoxButton(QMessageBox::StandardButton button) { m_button = button; }

    // The next file dialog gets this path typed in and accepted, or is cancelled.
    void queueFileAnswer(const QString &path);
    void queueFileCancel();
    int pendingFileAnswers() const { return m_fileAnswers.size(); }

    // A dialog still open after this long is rejected and recorded as timed out.
    void setWatchdogMs(int ms) { m_watchdogMs = ms; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void answer(QPointer<QDialog> dialog);
    void answerMessageBox(QMessageBox *box);
    void answerFileDialog(QFileDialog *dialog);
    void armWatchdog(QPointer<QDialog> dialog, int recordIndex);

    QList<ShownDialog> m_shown;
    QQueue<QString> m_fileAnswers; // a null string means cancel
    QMessageBox::StandardButton m_button = QMessageBox::Ok;
    int m_watchdogMs = 10000;
};
