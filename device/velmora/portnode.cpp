#include "velmora/portnode.h"

namespace velmora {

bool PortNode::operator==(const PortNode &other) const
{
    return exists == other.exists && linkInode == other.linkInode && inode == other.inode && device == other.device;
}

PortReturn::PortReturn(const std::string &portName) : portName(portName), seen(portNodeOf(portName))
{
}

PortReturn::PortReturn(const std::string &portName, const PortNode &seenBefore)
    : portName(portName)
    , seen(seenBefore)
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
