#include "dialogwatch.h"

#include "boxcontroller.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

namespace {

class DialogWatch : public QObject
{
public:
    DialogWatch(QWidget &window, BoxController &controller) : QObject(&window), controller(controller)
    {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked) {
            tell();
            // Qt may still list the closing dialog as the modal one while it sends the event.
            QMetaObject::invokeMethod(this, [this] { tell(); }, Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void tell()
    {
        const QWidget *dialog = QApplication::activeModalWidget();
        controller.setModalDialog(dialog != nullptr, dialog ? dialog->windowTitle() : QString());
    }

    BoxController &controller;
};

} // namespace

void watchDialogs(QWidget &window, BoxController &controller)
{
    new DialogWatch(window, controller);
}
