#pragma once

#include <QGraphicsPixmapItem>
#include <QGraphicsScene>
#include <QLabel>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <vector>

class Ui_VelmoraFlat;
struct SerialPortEntry;
class QCloseEvent;
class QShowEvent;

namespace velmora {
class Flat;
}

// The control panel's one window: it holds the whole state of the program.
class VelmoraFlat : public QMainWindow
{
    Q_OBJECT

public:
    VelmoraFlat(QWidget *parent, const QString &autoSearch);
    ~VelmoraFlat() override;

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
    // Port search and connection (device/connection.cpp).
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

    // Flat table and the two advisor tabs (advisor/).
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
    velmora::Flat *device;

    // Lets the tests read the window's private state; changes nothing in the program.
    friend struct VelmoraFlatTestAccess;
    // Shows a lost box and its return through the window's own controls (device/boxwatcher.cpp).
    friend class BoxWatcher;
    // Asks before a changed table is closed or opened over (advisor/unsavedtable.cpp).
    friend class UnsavedTableGuard;
    // Carries out Alpaca clients' commands through the window's own controls and steps (remote/).
    friend class AlpacaWindowBridge;
};
