// The flat assistant's window: a view of a FlatAssistant. It gathers the run's options, starts and stops the run,
// and shows what the module reports: each frame on the chart, each filter in the results table, the progress lines
// in the log. It never drives the devices itself.
#pragma once

#include "run/flatassistant.h"

#include <QMainWindow>

class AssistantResultsModel;
class FlatChart;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;

class AssistantWindow : public QMainWindow
{
    Q_OBJECT

public:
    // The window shows `assistant`, which outlives it.
    explicit AssistantWindow(FlatAssistant *assistant, QWidget *parent = nullptr);

    void setNightTheme(bool night);
    bool nightTheme() const { return night; }
    // Fills the fields from options given on the command line.
    void setOptions(const AssistantOptions &options);
    // The program's arguments: their options in the fields, the theme --night asks for, each wrong one in the log.
    void takeArguments(const AssistantArguments &arguments);
    AssistantOptions chosenOptions() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildServerBox();
    QWidget *buildDevicesBox();
    QWidget *buildSearchBox();
    QWidget *buildTableBox();
    QWidget *buildFlatSetBox();
    QWidget *buildButtons();
    QWidget *buildResultsArea();
    void connectAssistant();

    void listDevices();
    void showDevices(const IndiDevices &devices);
    void showWheelFilters();
    void startRun();
    void saveToTable();
    void browseTable();
    void browseFlatSetFolder();
    void showCaptureProgress(int taken, int toTake);

    void showState(FlatAssistant::State state);
    void showFrame(const QString &filter, const flatsearch::Frame &frame);
    void showResult(const FilterResult &result);
    void log(const QString &line);

    void showMeasuredFilters(const QString &searched);
    QString stateText(FlatAssistant::State state) const;
    bool running() const;

    FlatAssistant *assistant;
    IndiDeviceLister *lister;
    bool night = false;
    // As the last stateChanged said: the window follows the module's signals only.
    FlatAssistant::State shownState = FlatAssistant::State::Idle;

    QLineEdit *hostEdit;
    QSpinBox *portSpin;
    QPushButton *listButton;
    QLabel *serverStatus;
    QComboBox *cameraCombo;
    QComboBox *lightCombo;
    QComboBox *wheelCombo;
    QListWidget *filterList;
    QDoubleSpinBox *exposureSpin;
    QDoubleSpinBox *minExposureSpin;
    QDoubleSpinBox *maxExposureSpin;
    QDoubleSpinBox *targetSpin;
    QDoubleSpinBox *toleranceSpin;
    QLineEdit *tableEdit;
    QPushButton *browseButton;
    QComboBox *cameraTypeCombo;
    QLineEdit *isoBinEdit;
    QSpinBox *captureSpin;
    QLineEdit *outEdit;
    QPushButton *outBrowseButton;
    QProgressBar *captureBar;
    QPushButton *startButton;
    QPushButton *stopButton;
    QPushButton *saveButton;
    QPushButton *nightButton;
    QComboBox *chartFilterCombo;
    FlatChart *chart;
    AssistantResultsModel *results;
    QTableView *resultsTable;
    QPlainTextEdit *logView;
    QWidget *settingsPane;
};
