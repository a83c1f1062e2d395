#pragma once

#include "boxcontroller.h"

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <memory>
#include <vector>

class BoxWatcher;
class Ui_VelmoraFlat;
struct SerialPortEntry;
class QCloseEvent;
class QShowEvent;

// The control panel's one window: a view of the box's controller, with the flat table and the themes.
class VelmoraFlat : public QMainWindow
{
    Q_OBJECT

public:
    // The window with a box controller of its own (as the tests build it).
    VelmoraFlat(QWidget *parent, const QString &autoSearch);
    // The window as a front end of the program's box controller, which outlives it.
    VelmoraFlat(QWidget *parent, const QString &autoSearch, BoxController &boxController);
    ~VelmoraFlat() override;

    // The box's controller, for the front ends beside the window (the Alpaca server, the lost-box watch).
    BoxController &boxController() const { return *controller; }

protected slots:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_qtLogo_pressed();
    void on_MT_lampLevelSlider_valueChanged(int value);
    void on_ST_lampLevelSlider_valueChanged(int value);
    void on_ST_cameraSetting_currentTextChanged(const QString &arg1);
    void on_ST_modifyButton_pressed();
    void on_ST_applyButton_pressed();
    void on_FT_filterSetting_currentTextChanged(const QString &arg1);
    void on_FT_cameraTypeSetting_currentTextChanged(const QString &arg1);
    void on_FT_isobinSetting_currentTextChanged(const QString &arg1);
    void on_ST_isobinSetting_currentTextChanged(const QString &arg1);
    void on_ST_filterSetting_currentTextChanged(const QString &arg1);
    void on_FT_applySettingButton_pressed();
    void on_MT_lampSwitch_stateChanged(int state);
    void on_MT_serialConnect_pressed();
    void on_ST_saveButton_pressed();
    void on_ST_openButton_pressed();
    void on_ST_autoSearch_stateChanged(int state);
    void on_MT_serialDisconnect_pressed();
    void on_ST_connectButton_pressed();
    void on_MT_nightVisionButton_pressed();
    void on_MT_lampLevelSpinBox_valueChanged(int value);
    void on_ST_lampLevelSpinBox_valueChanged(int value);

private:
    // One of `own` and `shared` is the controller.
    VelmoraFlat(QWidget *parent, const QString &autoSearch, std::unique_ptr<BoxController> own,
                BoxController *shared);

    // Port search and connection (app/connection.cpp).
    void searchAndConnect(const QString &autoSearch); // the constructor's search
    void searchAndConnect();                          // the search button's search
    void runPortSearch(bool fromConstructor, const QString &autoSearch);
    QList<SerialPortEntry> listPortsForSearch();                   // every port into the combo, logged
    bool connectFirstBoxPort(const QList<SerialPortEntry> &ports); // the first box port that answers
    void applyConnectedState(const QString &portName);
    void applyDisconnectedState();
    void setLampControlsEnabled(const bool &enabled);
    void switchOffLampSwitchQuietly();
    void showConnectionButtons(bool connected);
    QList<QWidget *> operationControls() const;

    // The controller's state as the widgets show it, when a front end other than the window changed it.
    void followController();
    void showControllerState();
    void showListedPorts(const QStringList &names);
    void showLevelQuietly(int level);
    // The window's own steps drive the controller: it follows nothing else meanwhile.
    struct OwnSteps
    {
        explicit OwnSteps(VelmoraFlat &window);
        ~OwnSteps();
        OwnSteps(const OwnSteps &) = delete;
        OwnSteps &operator=(const OwnSteps &) = delete;
        VelmoraFlat &window;
        BoxController::Hold hold;
    };
    unsigned setBrightnessAndWait(int value);

    // Flat table and the two advisor tabs (app/advisor.cpp).
    void findConfiguration(const QString &key, bool &found, int &index, QString &exposure,
                           QString &lightLevel) const;
    void fillIsoList(const bool &settingsTab, const bool &filtersTab);
    void fillBinningList(const bool &settingsTab, const bool &filtersTab);
    void fillCameraList(const bool &settingsTab, const bool &filtersTab);
    void fillFilterList(const bool &settingsTab, const bool &filtersTab);
    void updateFiltersTab();
    void updateSettingsTab(const bool &setLampLevel);

    // Day and night-vision themes (ui/theme.cpp).
    void applyTheme(bool night);

    Ui_VelmoraFlat *ui;
    QLabel statusLabel;
    QGraphicsScene bannerScene;
    QGraphicsPixmapItem *bannerItem;
    QGraphicsScene filtersScene;
    QGraphicsPixmapItem *filtersItem;
    QGraphicsScene flatScene;
    QGraphicsPixmapItem *flatItem;
    QString currentCamera;
    std::vector<QString> flatTable;
    bool nightVision;
    std::unique_ptr<BoxController> ownController; // only when the window made it
    BoxController *controller;
    int ownSteps = 0;
    bool closeWaiting = false;

    // Lets the tests read the window's private state; changes nothing in the program.
    friend struct VelmoraFlatTestAccess;
    // Asks before a changed table is closed or opened over (app/unsavedtable.cpp).
    friend class UnsavedTableGuard;
};

// Start-up and the tests attach one lost-box watcher to the window's controller once the window is built.
BoxWatcher *watchForLostBox(VelmoraFlat &window);
