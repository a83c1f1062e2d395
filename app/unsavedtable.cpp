#include "unsavedtable.h"

#include "ui_velmoraflat.h"
#include "velmoraflat.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

namespace {

QMessageBox::StandardButton askToSave(QWidget *parent)
{
    QMessageBox box(QMessageBox::Question, VelmoraFlat::tr("Unsaved Configurations"),
                    VelmoraFlat::tr("The flat table has changed since it was last saved or opened. Save the changes?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    // No translation of Qt's own button texts is loaded, so the three buttons carry the program's.
    box.button(QMessageBox::Save)->setText(VelmoraFlat::tr("Save"));
    box.button(QMessageBox::Discard)->setText(VelmoraFlat::tr("Discard"));
    box.button(QMessageBox::Cancel)->setText(VelmoraFlat::tr("Cancel"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    return QMessageBox::StandardButton(box.exec());
}

UnsavedTableGuard *guardOf(VelmoraFlat &window)
{
    return window.findChild<UnsavedTableGuard *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

void guardUnsavedTable(VelmoraFlat &window)
{
    if (!guardOf(window))
        new UnsavedTableGuard(window);
}

void noteTableStored(VelmoraFlat &window)
{
    if (UnsavedTableGuard *guard = guardOf(window))
        guard->tableStored();
}

bool unsavedTable(VelmoraFlat &window, std::vector<QString> &table)
{
    const UnsavedTableGuard *guard = guardOf(window);
    if (!guard || !guard->hasUnsavedEdits())
        return false;
    table = guard->table();
    return true;
}

UnsavedTableGuard::UnsavedTableGuard(VelmoraFlat &window)
    : QObject(&window), m_window(window), m_stored(window.flatTable)
{
    // An event filter sees the close before the window's closeEvent does, and may stop it.
    window.installEventFilter(this);
    // The Open button's pressed signal (mouse, space key, click) reaches the slot through the guard, which asks first.
    QAbstractButton *open = window.ui->ST_openButton;
    if (QObject::disconnect(open, SIGNAL(pressed()), &window, SLOT(on_ST_openButton_pressed())))
        connect(open, &QAbstractButton::pressed, this, &UnsavedTableGuard::openPressed);
}

void UnsavedTableGuard::tableStored()
{
    m_stored = m_window.flatTable;
}

bool UnsavedTableGuard::hasUnsavedEdits() const
{
    return m_window.flatTable != m_stored;
}

std::vector<QString> UnsavedTableGuard::table() const
{
    return m_window.flatTable;
}

bool UnsavedTableGuard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::Close && !mayReplaceTable()) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void UnsavedTableGuard::openPressed()
{
    if (mayReplaceTable())
        m_window.on_ST_openButton_pressed();
}

bool UnsavedTableGuard::mayReplaceTable()
{
    if (m_window.flatTable == m_stored)
        return true;
    switch (askToSave(&m_window)) {
    case QMessageBox::Save:
        m_window.on_ST_saveButton_pressed();
        return m_window.flatTable == m_stored; // a cancelled or failed save leaves the table unsaved
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}
