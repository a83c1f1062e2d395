// A port's node on systems with device files: the inode of the path, of what it leads to, and its device number.
#include "velmora/portnode.h"

#include <sys/stat.h>

namespace velmora {
namespace {

bool isPath(const std::string &name)
{
    return name.rfind("/", 0) == 0 || name.rfind("./", 0) == 0 || name.rfind("../", 0) == 0;
}

} // namespace

std::string portNodePath(const std::string &portName)
{
    return isPath(portName) ? portName : "/dev/" + portName;
}

PortNode portNodeOf(const std::string &portName)
{
    PortNode node;
    const std::string path = portNodePath(portName);
    struct stat linkInfo {};
    struct stat info {};
    if (portName.empty() || ::lstat(path.c_str(), &linkInfo) != 0 || ::stat(path.c_str(), &info) != 0)
        return node;
    node.exists = true;
    node.linkInode = linkInfo.st_ino;
    node.inode = info.st_ino;
    node.device = info.st_rdev;
    return node;
}

} // namespace velmora
