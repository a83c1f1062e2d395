#include "velmoraflat.h"

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
    : QMainWindow(parent)
    , ui(new Ui_VelmoraFlat)
    , bannerItem(nullptr)
    , filtersItem(nullptr)
    , flatItem(nullptr)
    , currentCamera(QStringLiteral("DSLR"))
    , nightVision(false)
    , device(nullptr)
{
    ui->setupUi(this);

    statusLabel.setAttribute(Qt::WA_TranslucentBackground);
    ui->statusBar->addPermanentWidget(&statusLabel, 0);
    statusLabel.setText(tr("FLAT BOX DISCONNECTED"));

    bannerItem = showPicture(ui->velmoraBanner, bannerScene, QStringLiteral(":/images/velmora_banner.png"));
    filtersItem = showPicture(ui->filterImage, filtersScene, QStringLiteral(":/images/filters.png"));
    flatItem = showPicture(ui->flatBoxImage, flatScene, QStringLiteral(":/images/flat.png"));

    // The image analysis and controller pages stay built but out of the tab bar.
    ui->tabWidget->removeTab(4);
    ui->tabWidget->removeTab(4);

    device = new velmora::Flat;

    searchAndConnect(autoSearch);

    std::string libraryVersion;
    device->getAPIversion(libraryVersion);
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
    delete ui;
    // closeEvent has already switched the lamp off and disconnected a connected box.
    delete device;
}

void VelmoraFlat::showEvent(QShowEvent *)
{
}

void VelmoraFlat::closeEvent(QCloseEvent *)
{
    bool connected = false;
    device->isFlatConnected(connected);
    if (connected) {
        device->turnOff();
        device->disconnect();
    }
}

void VelmoraFlat::on_qtLogo_pressed()
{
    QMessageBox::aboutQt(this, QString());
}
