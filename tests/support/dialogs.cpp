#include "dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

DialogResponder &DialogResponder::instance()
{
    static DialogResponder responder;
    return responder;
}

void DialogResponder::install()
{
    qApp->installEventFilter(this);
}

QList<ShownDialog> DialogResponder::shownMessageBoxes() const
{
    QList<ShownDialog> boxes;
    for (const ShownDialog &dialog : m_shown)
        if (dialog.className == QLatin1String("QMessageBox"))
            boxes.append(dialog);
    return boxes;
}

void DialogResponder::clear()
{
    m_shown.clear();
    m_fileAnswers.clear();
    m_button = QMessageBox::Ok;
}

void DialogResponder::queueFileAnswer(const QString &path)
{
    m_fileAnswers.enqueue(path.isNull() ? QLatin1String("") : path);
}

void DialogResponder::queueFileCancel()
{
    m_fileAnswers.enqueue(QString());
}

bool DialogResponder::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Show) {
        auto *dialog = qobject_cast<QDialog *>(watched);
        if (dialog && dialog->isModal()) {
            // Answering inside the filter would run before the dialog's event loop has started.
            QPointer<QDialog> guarded(dialog);
            QMetaObject::invokeMethod(this, [this, guarded] { answer(guarded); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

void DialogResponder::answer(QPointer<QDialog> dialog)
{
    if (!dialog || !dialog->isVisible())
        return;
    if (auto *box = qobject_cast<QMessageBox *>(dialog.data()))
        answerMessageBox(box);
    else if (auto *files = qobject_cast<QFileDialog *>(dialog.data()))
        answerFileDialog(files);
    else {
        ShownDialog record;
        record.className = QString::fromLatin1(dialog->metaObject()->className());
        record.title = dialog->windowTitle();
        record.parent = dialog->parent();
        m_shown.append(record);
        armWatchdog(dialog, m_shown.size() - 1);
    }
}

void DialogResponder::answerMessageBox(QMessageBox *box)
{
    ShownDialog record;
    record.className = QStringLiteral("QMessageBox");
    record.title = box->windowTitle();
    record.text = box->text();
    record.icon = box->icon();
    record.styleSheet = box->styleSheet();
    record.parent = box->parent();
    const auto buttons = box->buttons();
    for (QAbstractButton *button : buttons)
        record.buttons.append(button->text());
    m_shown.append(record);

    const bool replaceQuestion = qobject_cast<QFileDialog *>(box->parent()) != nullptr;
    QAbstractButton *wanted = box->button(replaceQuestion ? QMessageBox::Yes : m_button);
    if (!wanted)
        wanted = box->button(QMessageBox::Ok);
    if (wanted)
        wanted->click();
    else
        box->reject();
}

void DialogResponder::answerFileDialog(QFileDialog *dialog)
{
    ShownDialog record;
    record.className = QStringLiteral("QFileDialog");
    record.title = dialog->windowTitle();
    record.nameFilters = dialog->nameFilters();
    record.directory = dialog->directory().absolutePath();
    record.styleSheet = dialog->styleSheet();
    record.parent = dialog->parent();
    m_shown.append(record);

    const QString path = m_fileAnswers.isEmpty() ? QString() : m_fileAnswers.dequeue();
    auto *nameEdit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    if (path.isNull() || !nameEdit) {
        dialog->reject();
        return;
    }
    nameEdit->setText(path);
    QPointer<QDialog> guarded(dialog);
    // What pressing Return in the name field does; accept() is protected in QFileDialog.
    QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    if (guarded && guarded->isVisible())
        armWatchdog(guarded, m_shown.size() - 1);
}

void DialogResponder::armWatchdog(QPointer<QDialog> dialog, int recordIndex)
{
    QTimer::singleShot(m_watchdogMs, this, [this, dialog, recordIndex] {
        if (!dialog || !dialog->isVisible())
            return;
        if (recordIndex < m_shown.size())
            m_shown[recordIndex].timedOut = true;
        dialog->reject();
    });
}
