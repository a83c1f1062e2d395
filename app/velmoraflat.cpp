#include "velmoraflat.h"

#include "boxwatcher.h"
#include "controllerwait.h"
#include "dialogwatch.h"
#include "highdensity.h"
#include "ui_velmoraflat.h"
#include "velmora/flat.h"

#include <QCloseEvent>
#include <QGraphicsView>
#include <QMessageBox>
#include <QPixmap>
#include <QSysInfo>

#include <string>

namespace {

QGraphicsPixmapItem *showPicture(QGraphicsView *view, QGraphicsScene &scene, const QString &file)
{
    view->setScene(&scene);
    return scene.addPixmap(pictureForDensity(file, view->devicePixelRatioF()));
}

} // namespace

VelmoraFlat::VelmoraFlat(QWidget *parent, const QString &autoSearch)
    : VelmoraFlat(parent, autoSearch, std::make_unique<BoxController>(), nullptr)
{
}

VelmoraFlat::VelmoraFlat(QWidget *parent, const QString &autoSearch, BoxController &boxController)
    : VelmoraFlat(parent, autoSearch, nullptr, &boxController)
{
}

VelmoraFlat::VelmoraFlat(QWidget *parent, const QString &autoSearch, std::unique_ptr<BoxController> own,
                         BoxController *shared)
    : QMainWindow(parent)
    , ui(new Ui_VelmoraFlat)
    , bannerItem(nullptr)
    , filtersItem(nullptr)
    , flatItem(nullptr)
    , currentCamera(QStringLiteral("DSLR"))
    , nightVision(false)
    , ownController(std::move(own))
    , controller(shared ? shared : ownController.get())
{
    ui->setupUi(this);
    watchDialogs(*this, *controller);
    followController();

    statusLabel.setAttribute(Qt::WA_TranslucentBackground);
    ui->statusBar->addPermanentWidget(&statusLabel, 0);
    statusLabel.setText(tr("FLAT BOX DISCONNECTED"));

    bannerItem = showPicture(ui->velmoraBanner, bannerScene, QStringLiteral(":/images/velmora_banner.png"));
    filtersItem = showPicture(ui->filterImage, filtersScene, QStringLiteral(":/images/filters.png"));
    flatItem = showPicture(ui->flatBoxImage, flatScene, QStringLiteral(":/images/flat.png"));

    // The image analysis and controller pages stay built but out of the tab bar.
    ui->tabWidget->removeTab(4);
    ui->tabWidget->removeTab(4);

    searchAndConnect(autoSearch);

    std::string libraryVersion;
    controller->runAndWait([&libraryVersion](velmora::Flat &device) { return device.getAPIversion(libraryVersion); });
    ui->infoOS->setText(QSysInfo::prettyProductName());
    ui->infoOS->setCursorPosition(0); // show the start of a name longer than the field
    ui->infoVersion->setText(QStringLiteral("0.3.0.0"));
    ui->infoLibVersion->setText(QString::fromStdString(libraryVersion));

    currentCamera = QStringLiteral("DSLR");
    const QString defaultIsoBin = QStringLiteral("100");
    const QString defaultFilter = tr("Luminance");
    fillIsoList(true, true);
    fillFilterList(true, true);
    fillCameraList(true, true);
    ui->ST_cameraSetting->setCurrentText(currentCamera);
    ui->FT_cameraTypeSetting->setCurrentText(currentCamera);
    ui->ST_isobinSetting->setCurrentText(defaultIsoBin);
    ui->FT_isobinSetting->setCurrentText(defaultIsoBin);
    ui->ST_filterSetting->setCurrentText(defaultFilter);
    ui->FT_filterSetting->setCurrentText(defaultFilter);
    updateFiltersTab();

    ui->tabWidget->setCurrentWidget(ui->mainTab);
}

VelmoraFlat::~VelmoraFlat()
{
    // closeEvent has already switched the lamp off and disconnected a connected box.
    controller->disconnect(this);
    delete ui;
}

void VelmoraFlat::showEvent(QShowEvent *)
{
}

// A close request during an operation waits for its end; then the lamp goes off and the box is disconnected,
// while the window goes on answering.
void VelmoraFlat::closeEvent(QCloseEvent *event)
{
    if (controller->isBusy()) {
        event->ignore();
        if (!closeWaiting) {
            closeWaiting = true;
            connect(controller, &BoxController::idle, this, [this] {
                if (closeWaiting && !controller->isBusy()) {
                    closeWaiting = false;
                    close();
                }
            }, Qt::QueuedConnection);
        }
        return;
    }
    const OwnSteps steps(*this);
    waitFor<bool>([this](std::function<void(bool)> done) { controller->shutDown([done] { done(true); }); });
}

VelmoraFlat::OwnSteps::OwnSteps(VelmoraFlat &window) : window(window), hold(*window.controller)
{
    ++window.ownSteps;
}

VelmoraFlat::OwnSteps::~OwnSteps()
{
    --window.ownSteps;
}

BoxWatcher *watchForLostBox(VelmoraFlat &window)
{
    return watchForLostBox(window.boxController());
}

void VelmoraFlat::on_qtLogo_pressed()
{
    QMessageBox::aboutQt(this, QString());
}
