#include "assistantwindow.h"

#include "assistantresultsmodel.h"
#include "assistanttheme.h"
#include "flatchart.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QDoubleSpinBox *secondsSpin(const char *name, double minimum, double maximum, double value)
{
    auto *spin = new QDoubleSpinBox;
    spin->setObjectName(QLatin1String(name));
    spin->setDecimals(3);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    spin->setSuffix(QStringLiteral(" s"));
    return spin;
}

QDoubleSpinBox *fractionSpin(const char *name, double minimum, double maximum, double value)
{
    auto *spin = new QDoubleSpinBox;
    spin->setObjectName(QLatin1String(name));
    spin->setDecimals(3);
    spin->setSingleStep(0.01);
    spin->setRange(minimum, maximum);
    spin->setValue(value);
    return spin;
}

QPushButton *button(const QString &text, const char *name)
{
    auto *pushButton = new QPushButton(text);
    pushButton->setObjectName(QLatin1String(name));
    return pushButton;
}

// A wheel of its own before a camera's built-in one (INDI's CCD simulator has one too).
QString preferredWheel(const IndiDevices &devices)
{
    for (const QString &wheel : devices.wheels) {
        if (!devices.cameras.contains(wheel))
            return wheel;
    }
    return devices.wheels.value(0);
}

} // namespace

AssistantWindow::AssistantWindow(FlatAssistant *assistant, QWidget *parent)
    : QMainWindow(parent), assistant(assistant), lister(new IndiDeviceLister(this)),
      results(new AssistantResultsModel(this))
{
    setWindowTitle(QStringLiteral("VELMORA Flat Assistant"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("velmora-flat")));

    settingsPane = new QWidget;
    auto *settingsLayout = new QVBoxLayout(settingsPane);
    settingsLayout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *box : {buildServerBox(), buildDevicesBox(), buildSearchBox(), buildTableBox(), buildFlatSetBox()})
        settingsLayout->addWidget(box);
    settingsLayout->addStretch();

    captureBar = new QProgressBar;
    captureBar->setObjectName(QStringLiteral("captureBar"));
    captureBar->setFormat(tr("%v of %m frames of the flat set"));
    captureBar->hide();

    auto *leftColumn = new QWidget;
    auto *leftLayout = new QVBoxLayout(leftColumn);
    leftLayout->addWidget(settingsPane, 1);
    leftLayout->addWidget(captureBar);
    leftLayout->addWidget(buildButtons());

    auto *splitter = new QSplitter;
    splitter->addWidget(leftColumn);
    splitter->addWidget(buildResultsArea());
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    connect(lister, &IndiDeviceLister::listed, this, &AssistantWindow::showDevices);
    connectAssistant();
    chart->setSettings(chosenOptions().search);
    showState(assistant->state());
    setNightTheme(false);
    resize(1280, 820);
}

QWidget *AssistantWindow::buildServerBox()
{
    auto *box = new QGroupBox(tr("INDI server"));
    hostEdit = new QLineEdit(QStringLiteral("127.0.0.1"));
    hostEdit->setObjectName(QStringLiteral("hostEdit"));
    portSpin = new QSpinBox;
    portSpin->setObjectName(QStringLiteral("portSpin"));
    portSpin->setRange(1, 65535);
    portSpin->setValue(7624);
    listButton = button(tr("List devices"), "listButton");
    serverStatus = new QLabel;
    serverStatus->setObjectName(QStringLiteral("serverStatus"));
    serverStatus->setWordWrap(true);

    auto *row = new QHBoxLayout;
    row->addWidget(hostEdit, 1);
    row->addWidget(portSpin);
    row->addWidget(listButton);
    auto *layout = new QVBoxLayout(box);
    layout->addLayout(row);
    layout->addWidget(serverStatus);
    connect(listButton, &QPushButton::clicked, this, &AssistantWindow::listDevices);
    return box;
}

QWidget *AssistantWindow::buildDevicesBox()
{
    auto *box = new QGroupBox(tr("Devices"));
    cameraCombo = new QComboBox;
    cameraCombo->setObjectName(QStringLiteral("cameraCombo"));
    lightCombo = new QComboBox;
    lightCombo->setObjectName(QStringLiteral("lightCombo"));
    wheelCombo = new QComboBox;
    wheelCombo->setObjectName(QStringLiteral("wheelCombo"));
    for (QComboBox *combo : {cameraCombo, lightCombo, wheelCombo}) {
        // Names can also be typed, for a server that is not listed yet.
        combo->setEditable(true);
        combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        combo->setMinimumContentsLength(14);
    }
    filterList = new QListWidget;
    filterList->setObjectName(QStringLiteral("filterList"));
    filterList->setMaximumHeight(110);

    auto *layout = new QFormLayout(box);
    layout->addRow(tr("Camera"), cameraCombo);
    layout->addRow(tr("Light box"), lightCombo);
    layout->addRow(tr("Filter wheel"), wheelCombo);
    layout->addRow(tr("Filters"), filterList);
    connect(wheelCombo, &QComboBox::currentTextChanged, this, &AssistantWindow::showWheelFilters);
    return box;
}

QWidget *AssistantWindow::buildSearchBox()
{
    const flatsearch::Settings defaults;
    auto *box = new QGroupBox(tr("Search"));
    exposureSpin = secondsSpin("exposureSpin", 0.001, 3600, defaults.exposure);
    minExposureSpin = secondsSpin("minExposureSpin", 0.001, 3600, defaults.minExposure);
    maxExposureSpin = secondsSpin("maxExposureSpin", 0.001, 3600, defaults.maxExposure);
    targetSpin = fractionSpin("targetSpin", 0.05, 0.95, defaults.target);
    toleranceSpin = fractionSpin("toleranceSpin", 0.005, 0.5, defaults.tolerance);

    auto *layout = new QFormLayout(box);
    layout->addRow(tr("Exposure"), exposureSpin);
    layout->addRow(tr("Shortest exposure"), minExposureSpin);
    layout->addRow(tr("Longest exposure"), maxExposureSpin);
    layout->addRow(tr("Target (of full scale)"), targetSpin);
    layout->addRow(tr("Tolerance (of the target)"), toleranceSpin);
    for (QDoubleSpinBox *spin : {targetSpin, toleranceSpin})
        connect(spin, qOverload<double>(&QDoubleSpinBox::valueChanged), this,
                [this] { chart->setSettings(chosenOptions().search); });
    return box;
}

QWidget *AssistantWindow::buildTableBox()
{
    auto *box = new QGroupBox(tr("Flat table"));
    tableEdit = new QLineEdit;
    tableEdit->setObjectName(QStringLiteral("tableEdit"));
    tableEdit->setPlaceholderText(tr("optional"));
    browseButton = button(tr("Browse…"), "browseButton");
    cameraTypeCombo = new QComboBox;
    cameraTypeCombo->setObjectName(QStringLiteral("cameraTypeCombo"));
    cameraTypeCombo->addItems({QStringLiteral("CCD"), QStringLiteral("DSLR")});
    isoBinEdit = new QLineEdit;
    isoBinEdit->setObjectName(QStringLiteral("isoBinEdit"));
    isoBinEdit->setPlaceholderText(tr("the camera's binning"));

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(tableEdit, 1);
    fileRow->addWidget(browseButton);
    auto *layout = new QFormLayout(box);
    layout->addRow(tr("Table file"), fileRow);
    layout->addRow(tr("Camera type"), cameraTypeCombo);
    layout->addRow(tr("ISO/binning"), isoBinEdit);
    connect(browseButton, &QPushButton::clicked, this, &AssistantWindow::browseTable);
    return box;
}

// The whole flat set: flats per filter at the levels found, and flat-darks per exposure, saved into a folder.
QWidget *AssistantWindow::buildFlatSetBox()
{
    auto *box = new QGroupBox(tr("Flat set"));
    captureSpin = new QSpinBox;
    captureSpin->setObjectName(QStringLiteral("captureSpin"));
    captureSpin->setRange(0, 999);
    captureSpin->setSpecialValueText(tr("levels only"));
    outEdit = new QLineEdit;
    outEdit->setObjectName(QStringLiteral("outEdit"));
    outBrowseButton = button(tr("Browse…"), "outBrowseButton");

    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(outEdit, 1);
    folderRow->addWidget(outBrowseButton);
    auto *layout = new QFormLayout(box);
    layout->addRow(tr("Flats and flat-darks"), captureSpin);
    layout->addRow(tr("Folder"), folderRow);
    connect(outBrowseButton, &QPushButton::clicked, this, &AssistantWindow::browseFlatSetFolder);
    return box;
}

QWidget *AssistantWindow::buildButtons()
{
    auto *row = new QWidget;
    startButton = button(tr("Start"), "startButton");
    stopButton = button(tr("Stop"), "stopButton");
    saveButton = button(tr("Save to table…"), "saveButton");
    nightButton = button(tr("Night"), "nightButton");
    nightButton->setCheckable(true);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QPushButton *pushButton : {startButton, stopButton, saveButton, nightButton})
        layout->addWidget(pushButton);
    connect(startButton, &QPushButton::clicked, this, &AssistantWindow::startRun);
    connect(stopButton, &QPushButton::clicked, assistant, &FlatAssistant::stop);
    connect(saveButton, &QPushButton::clicked, this, &AssistantWindow::saveToTable);
    connect(nightButton, &QPushButton::toggled, this, &AssistantWindow::setNightTheme);
    return row;
}

QWidget *AssistantWindow::buildResultsArea()
{
    auto *area = new QSplitter(Qt::Vertical);

    auto *chartPane = new QWidget;
    chartFilterCombo = new QComboBox;
    chartFilterCombo->setObjectName(QStringLiteral("chartFilterCombo"));
    chartFilterCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    chart = new FlatChart;
    auto *chooserRow = new QHBoxLayout;
    chooserRow->addWidget(new QLabel(tr("Filter shown")));
    chooserRow->addWidget(chartFilterCombo);
    chooserRow->addStretch();
    auto *chartLayout = new QVBoxLayout(chartPane);
    chartLayout->setContentsMargins(0, 0, 0, 0);
    chartLayout->addLayout(chooserRow);
    chartLayout->addWidget(chart, 1);
    connect(chartFilterCombo, &QComboBox::currentTextChanged, chart, &FlatChart::showFilter);

    resultsTable = new QTableView;
    resultsTable->setObjectName(QStringLiteral("resultsTable"));
    resultsTable->setModel(results);
    resultsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    resultsTable->horizontalHeader()->setStretchLastSection(true);
    resultsTable->verticalHeader()->hide();
    resultsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultsTable->setSelectionBehavior(QAbstractItemView::SelectRows);

    logView = new QPlainTextEdit;
    logView->setObjectName(QStringLiteral("logView"));
    logView->setReadOnly(true);
    logView->setMaximumBlockCount(2000);

    area->addWidget(chartPane);
    area->addWidget(resultsTable);
    area->addWidget(logView);
    area->setSizes({440, 190, 150});
    return area;
}

void AssistantWindow::connectAssistant()
{
    connect(assistant, &FlatAssistant::stateChanged, this, &AssistantWindow::showState);
    connect(assistant, &FlatAssistant::frameMeasured, this, &AssistantWindow::showFrame);
    connect(assistant, &FlatAssistant::curveChanged, this, [this] { chart->setCurve(assistant->curve()); });
    connect(assistant, &FlatAssistant::filterFinished, this, &AssistantWindow::showResult);
    connect(assistant, &FlatAssistant::progressLine, this, &AssistantWindow::log);
    connect(assistant, &FlatAssistant::captureProgress, this, &AssistantWindow::showCaptureProgress);
}

void AssistantWindow::setNightTheme(bool nightOn)
{
    night = nightOn;
    // Qt repolishes the children for a new sheet only once the window itself is polished; before it is shown (--night)
    // they would keep the look they already took.
    ensurePolished();
    setStyleSheet(assistanttheme::windowSheet(night));
    chart->setNight(night);
    const QSignalBlocker quiet(nightButton);
    nightButton->setChecked(night);
}

void AssistantWindow::takeArguments(const AssistantArguments &arguments)
{
    setOptions(arguments.options);
    setNightTheme(arguments.night);
    for (const QString &error : arguments.errors())
        log(tr("Not taken from the command line: %1").arg(error));
}

void AssistantWindow::setOptions(const AssistantOptions &options)
{
    hostEdit->setText(options.indiHost);
    portSpin->setValue(options.indiPort);
    cameraCombo->setCurrentText(options.camera);
    lightCombo->setCurrentText(options.light);
    wheelCombo->setCurrentText(options.wheel);
    for (const QString &filter : options.filters) {
        auto *item = new QListWidgetItem(filter, filterList);
        item->setCheckState(Qt::Checked);
    }
    exposureSpin->setValue(options.search.exposure);
    minExposureSpin->setValue(options.search.minExposure);
    maxExposureSpin->setValue(options.search.maxExposure);
    targetSpin->setValue(options.search.target);
    toleranceSpin->setValue(options.search.tolerance);
    tableEdit->setText(options.tablePath);
    cameraTypeCombo->setCurrentText(options.cameraType);
    isoBinEdit->setText(options.isoBin);
    captureSpin->setValue(options.capture);
    outEdit->setText(options.outDir);
}

AssistantOptions AssistantWindow::chosenOptions() const
{
    AssistantOptions options;
    options.indiHost = hostEdit->text().trimmed();
    options.indiPort = portSpin->value();
    options.camera = cameraCombo->currentText().trimmed();
    options.light = lightCombo->currentText().trimmed();
    options.wheel = wheelCombo->currentText().trimmed();
    for (int i = 0; i < filterList->count(); ++i) {
        if (filterList->item(i)->checkState() == Qt::Checked)
            options.filters.append(filterList->item(i)->text());
    }
    options.search.exposure = exposureSpin->value();
    options.search.minExposure = minExposureSpin->value();
    options.search.maxExposure = maxExposureSpin->value();
    options.search.target = targetSpin->value();
    options.search.tolerance = toleranceSpin->value();
    options.tablePath = tableEdit->text().trimmed();
    options.cameraType = cameraTypeCombo->currentText();
    options.isoBin = isoBinEdit->text().trimmed();
    options.capture = captureSpin->value();
    options.outDir = outEdit->text().trimmed();
    return options;
}

void AssistantWindow::listDevices()
{
    listButton->setEnabled(false);
    serverStatus->setText(tr("Asking %1:%2…").arg(hostEdit->text().trimmed()).arg(portSpin->value()));
    lister->list(hostEdit->text().trimmed(), portSpin->value());
}

void AssistantWindow::showDevices(const IndiDevices &devices)
{
    listButton->setEnabled(true);
    if (!devices.error.isEmpty()) {
        serverStatus->setText(devices.error);
        log(devices.error);
        return;
    }
    const auto refill = [](QComboBox *combo, const QStringList &names) {
        const QString kept = combo->currentText();
        combo->clear();
        combo->addItems(names);
        if (names.contains(kept))
            combo->setCurrentText(kept);
    };
    refill(cameraCombo, devices.cameras);
    refill(lightCombo, devices.lights);
    refill(wheelCombo, QStringList{QString()} + devices.wheels);
    if (wheelCombo->currentText().isEmpty())
        wheelCombo->setCurrentText(preferredWheel(devices));
    serverStatus->setText(tr("Cameras: %1, light boxes: %2, filter wheels: %3")
                              .arg(devices.cameras.size())
                              .arg(devices.lights.size())
                              .arg(devices.wheels.size()));
    showWheelFilters();
}

void AssistantWindow::showWheelFilters()
{
    const QStringList names = lister->wheelFilters(wheelCombo->currentText().trimmed());
    if (names.isEmpty())
        return;
    filterList->clear();
    for (const QString &name : names) {
        auto *item = new QListWidgetItem(name, filterList);
        item->setCheckState(Qt::Checked);
    }
}

void AssistantWindow::startRun()
{
    const AssistantOptions options = chosenOptions();
    if (options.camera.isEmpty() || options.light.isEmpty()) {
        const QString missing = tr("Choose a camera and a light box first (List devices asks the INDI server).");
        statusBar()->showMessage(missing);
        log(missing);
        return;
    }
    if (options.capture > 0 && options.outDir.isEmpty()) {
        const QString missing = tr("Choose a folder for the flat set first.");
        statusBar()->showMessage(missing);
        log(missing);
        return;
    }
    captureBar->setRange(0, 1);
    captureBar->setValue(0);
    captureBar->setVisible(options.capture > 0);
    results->startRun(options.filters);
    chartFilterCombo->clear();
    chart->clear();
    chart->setSettings(options.search);
    assistant->setOptions(options);
    assistant->start();
}

void AssistantWindow::saveToTable()
{
    const QString start = tableEdit->text().trimmed().isEmpty() ? QDir::homePath() : tableEdit->text().trimmed();
    // The results are merged into the table: replacing a file is what the user wants here, not a question.
    QString path = QFileDialog::getSaveFileName(this, tr("Save to table"), start, tr("Flat tables (*.vfc)"), nullptr,
                                                QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".vfc");
    QString error;
    if (!assistant->saveResults(path, error)) {
        log(error);
        QMessageBox::warning(this, tr("Save to table"), tr("The table was not saved: %1").arg(error));
        return;
    }
    tableEdit->setText(path);
    log(tr("Saved to %1").arg(QDir::toNativeSeparators(path)));
}

void AssistantWindow::browseTable()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Flat table"), tableEdit->text().trimmed(),
                                                      tr("Flat tables (*.vfc)"), nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!path.isEmpty())
        tableEdit->setText(path);
}

void AssistantWindow::browseFlatSetFolder()
{
    const QString path = QFileDialog::getExistingDirectory(this, tr("Flat set folder"), outEdit->text().trimmed());
    if (!path.isEmpty())
        outEdit->setText(path);
}

void AssistantWindow::showCaptureProgress(int taken, int toTake)
{
    captureBar->setMaximum(std::max(1, toTake));
    captureBar->setValue(taken);
}

bool AssistantWindow::running() const
{
    return shownState != FlatAssistant::State::Idle && !FlatAssistant::isFinished(shownState);
}

void AssistantWindow::showState(FlatAssistant::State state)
{
    shownState = state;
    const bool busy = running();
    startButton->setEnabled(!busy);
    stopButton->setEnabled(busy);
    settingsPane->setEnabled(!busy);
    saveButton->setEnabled(!busy && results->hasReachedTarget());
    if (state == FlatAssistant::State::Stopped)
        results->markUnfinished(AssistantResultsModel::Status::Stopped);
    if (state == FlatAssistant::State::Failed)
        results->markUnfinished(AssistantResultsModel::Status::Failed);
    QString text = stateText(state);
    if (state == FlatAssistant::State::Failed) {
        text += QStringLiteral(": ") + assistant->errorText();
        log(text);
    }
    statusBar()->showMessage(text);
}

QString AssistantWindow::stateText(FlatAssistant::State state) const
{
    switch (state) {
    case FlatAssistant::State::Idle:
        return tr("Ready");
    case FlatAssistant::State::Connecting:
        return tr("Connecting…");
    case FlatAssistant::State::MovingWheel:
        return tr("Moving the filter wheel…");
    case FlatAssistant::State::SettingLight:
        return tr("Setting the light…");
    case FlatAssistant::State::Exposing:
        return tr("Exposing…");
    case FlatAssistant::State::Measuring:
        return tr("Measuring…");
    case FlatAssistant::State::Saving:
        return tr("Saving the frame…");
    case FlatAssistant::State::Finished:
        return tr("Finished");
    case FlatAssistant::State::Stopped:
        return tr("Stopped");
    case FlatAssistant::State::Failed:
        return tr("Failed");
    }
    return QString();
}

void AssistantWindow::showFrame(const QString &filter, const flatsearch::Frame &frame)
{
    results->addFrame(filter, frame);
    chart->addFrame(filter, frame);
    showMeasuredFilters(filter);
}

// The chooser offers the filters the table shows frames of, and follows the one being searched.
void AssistantWindow::showMeasuredFilters(const QString &searched)
{
    for (const QString &filter : results->measuredFilters()) {
        if (chartFilterCombo->findText(filter) < 0)
            chartFilterCombo->addItem(filter);
    }
    chartFilterCombo->setCurrentText(searched);
}

void AssistantWindow::showResult(const FilterResult &result)
{
    results->finishFilter(result);
    log(result.reportLine());
    saveButton->setEnabled(!running() && results->hasReachedTarget());
}

void AssistantWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window ends the run the way Stop does: the lamp goes off if the run switched it on.
    if (running())
        assistant->stop();
    QMainWindow::closeEvent(event);
}

void AssistantWindow::log(const QString &line)
{
    logView->appendPlainText(line);
}
