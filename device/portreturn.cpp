#include "portreturn.h"

#include "velmora/portnode.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#if defined(VELMORA_HAVE_UDEV)
#include <libudev.h>
#endif

namespace {

constexpr int listingIntervalMs = 2000;

[[maybe_unused]] bool isPath(const QString &portName)
{
    return portName.startsWith(QLatin1Char('/')) || portName.startsWith(QLatin1String("./"))
           || portName.startsWith(QLatin1String("../"));
}

} // namespace

QString serialPortNode(const QString &portName)
{
    return QFile::decodeName(QByteArray::fromStdString(velmora::portNodePath(QFile::encodeName(portName).toStdString())));
}

// The library's reading of the node, as a key that compares equal exactly when the readings do.
QByteArray serialPortNodeIdentity(const QString &portName)
{
    const velmora::PortNode node = velmora::portNodeOf(QFile::encodeName(portName).toStdString());
    if (!node.exists)
        return QByteArray();
    return QByteArray::number(node.linkInode) + ':' + QByteArray::number(node.inode) + ':'
           + QByteArray::number(node.device);
}

#if defined(VELMORA_HAVE_UDEV)
struct PortReturnWatch::Udev
{
    ::udev *context = nullptr;
    udev_monitor *monitor = nullptr;

    ~Udev()
    {
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }
};
#else
struct PortReturnWatch::Udev
{
};
#endif

PortReturnWatch::PortReturnWatch(QObject *parent) : QObject(parent)
{
    listingTimer.setInterval(listingIntervalMs);
    connect(&listingTimer, &QTimer::timeout, this, &PortReturnWatch::portsChanged);
    connect(&directories, &QFileSystemWatcher::directoryChanged, this, &PortReturnWatch::directoryChanged);
}

PortReturnWatch::~PortReturnWatch()
{
    stop();
}

void PortReturnWatch::start(const QString &portName)
{
    stop();
    active = true;
    watchedPort = portName;
    watchedNode = serialPortNodeIdentity(portName);
    const bool udevRuns = startUdevMonitor();
#if defined(Q_OS_UNIX)
    if (!udevRuns || isPath(portName)) {
        const QFileInfo node(serialPortNode(portName));
        watchDirectory(node.absolutePath());
        // A link that stays while its target goes and comes back: the target's folder tells.
        if (node.isSymLink())
            watchDirectory(QFileInfo(node.symLinkTarget()).absolutePath());
    }
#endif
    if (!udevRuns && directories.directories().isEmpty())
        listingTimer.start();
}

void PortReturnWatch::watchDirectory(const QString &path)
{
    if (entries.contains(path) || !directories.addPath(path))
        return;
    const QStringList names = QDir(path).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    entries.insert(path, QSet<QString>(names.begin(), names.end()));
}

// Only a node of the watched port made anew, or a new entry, may be a port that came back.
void PortReturnWatch::directoryChanged(const QString &path)
{
    const QStringList listed = QDir(path).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    const QSet<QString> names(listed.begin(), listed.end());
    QSet<QString> &known = entries[path];
    const bool gained = !(names - known).isEmpty();
    known = names;
    const QByteArray node = serialPortNodeIdentity(watchedPort);
    const bool nodeChanged = node != watchedNode;
    watchedNode = node;
    if (gained || nodeChanged)
        emit portsChanged();
}

void PortReturnWatch::stop()
{
    active = false;
    entries.clear();
    stopUdevMonitor();
    listingTimer.stop();
    if (!directories.directories().isEmpty())
        directories.removePaths(directories.directories());
}

// A monitor can be made without the udev daemon, but then no event ever comes: it counts only
// while the daemon runs.
bool PortReturnWatch::startUdevMonitor()
{
#if defined(VELMORA_HAVE_UDEV)
    auto watch = std::make_unique<Udev>();
    watch->context = udev_new();
    if (!watch->context)
        return false;
    udev_queue *queue = udev_queue_new(watch->context);
    const bool daemonRuns = queue && udev_queue_get_udev_is_active(queue);
    if (queue)
        udev_queue_unref(queue);
    if (!daemonRuns)
        return false;
    watch->monitor = udev_monitor_new_from_netlink(watch->context, "udev");
    if (!watch->monitor || udev_monitor_filter_add_match_subsystem_devtype(watch->monitor, "tty", nullptr) < 0
        || udev_monitor_enable_receiving(watch->monitor) < 0)
        return false;
    udevNotifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(watch->monitor), QSocketNotifier::Read);
    connect(udevNotifier.get(), &QSocketNotifier::activated, this, &PortReturnWatch::readUdevEvents);
    udevWatch = std::move(watch);
    return true;
#else
    return false;
#endif
}

void PortReturnWatch::stopUdevMonitor()
{
    udevNotifier.reset();
    udevWatch.reset();
}

void PortReturnWatch::readUdevEvents()
{
#if defined(VELMORA_HAVE_UDEV)
    bool added = false;
    while (udev_device *device = udev_monitor_receive_device(udevWatch->monitor)) {
        const char *action = udev_device_get_action(device);
        added = added || (action && qstrcmp(action, "add") == 0);
        udev_device_unref(device);
    }
    if (added)
        emit portsChanged();
#endif
}
