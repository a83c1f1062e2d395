#pragma once

// The question before a changed flat table is thrown away: closing the window or opening another file while the
// table differs from what was last saved or opened asks first whether to save it (Save, Discard, Cancel).

#include <QObject>
#include <QString>

#include <vector>

class QEvent;
class VelmoraFlat;

// Puts the question in front of the window's close and its Open button. A table that was never changed asks
// nothing; a window without the guard closes and opens without asking.
void guardUnsavedTable(VelmoraFlat &window);

// The window's table is what a file holds now: it was just saved or opened. Does nothing on an unguarded window.
void noteTableStored(VelmoraFlat &window);

// Whether the guarded window's table has changed since it was last saved or opened; `table` then gets it.
bool unsavedTable(VelmoraFlat &window, std::vector<QString> &table);

class UnsavedTableGuard : public QObject
{
    Q_OBJECT

public:
    explicit UnsavedTableGuard(VelmoraFlat &window);

    void tableStored();
    bool hasUnsavedEdits() const;
    std::vector<QString> table() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void openPressed();
    bool mayReplaceTable(); // asks when the table changed; true when the close or open may go on

    VelmoraFlat &m_window;
    std::vector<QString> m_stored; // the table as last saved or opened
};
