#include "velmora/portnode.h"

#if defined(__unix__) || defined(__APPLE__)
#include <sys/stat.h>
#define VELMORA_HAVE_DEVICE_NODES 1
#endif

namespace velmora {
namespace {

bool isPath(const std::string &name)
{
    return name.rfind("/", 0) == 0 || name.rfind("./", 0) == 0 || name.rfind("../", 0) == 0;
}

} // namespace

bool PortNode::operator==(const PortNode &other) const
{
    return exists == other.exists && linkInode == other.linkInode && inode == other.inode && device == other.device;
}

std::string portNodePath(const std::string &portName)
{
#if defined(VELMORA_HAVE_DEVICE_NODES)
    return isPath(portName) ? portName : "/dev/" + portName;
#else
    return portName;
#endif
}

PortNode portNodeOf(const std::string &portName)
{
    PortNode node;
#if defined(VELMORA_HAVE_DEVICE_NODES)
    const std::string path = portNodePath(portName);
    struct stat linkInfo {};
    struct stat info {};
    if (portName.empty() || ::lstat(path.c_str(), &linkInfo) != 0 || ::stat(path.c_str(), &info) != 0)
        return node;
    node.exists = true;
    node.linkInode = linkInfo.st_ino;
    node.inode = info.st_ino;
    node.device = info.st_rdev;
#else
    (void)portName;
#endif
    return node;
}

PortReturn::PortReturn(const std::string &portName) : portName(portName), seen(portNodeOf(portName))
{
}

bool PortReturn::hasComeBack()
{
    const PortNode now = portNodeOf(portName);
    const bool back = now.exists && now != seen;
    seen = now;
    return back;
}

} // namespace velmora
