// What is at a serial port's device path, and the rule that tells a box plugged in again from the lost one.
// Plain C++: the panel, the INDI driver and the library's own watch of a connected box share it.
#pragma once

#include "velmora/flat.h"

#include <string>

namespace velmora {

// The node a port's path leads to. A box plugged in again gets a new node (a new inode, or a symlink that now
// points elsewhere), so two readings differ although the path is the same.
struct VELMORA_API PortNode
{
    bool exists = false;
    unsigned long long linkInode = 0; // of the path itself (the symlink, when it is one)
    unsigned long long inode = 0;     // of what it leads to
    unsigned long long device = 0;    // the device number of what it leads to

    bool operator==(const PortNode &other) const;
    bool operator!=(const PortNode &other) const { return !(*this == other); }
};

// The device path a port's name stands for: "ttyACM0" is "/dev/ttyACM0"; a path ("/", "./", "../") stays itself.
VELMORA_API std::string portNodePath(const std::string &portName);
// What is at the port's path now; `exists` false when nothing is there (or on systems without device nodes).
VELMORA_API PortNode portNodeOf(const std::string &portName);

// Looks out for a lost box's port coming back. Each look compares the node with the one seen at the look before:
// a node that is there and differs is a box plugged in again; the same node is the lost box itself (still silent,
// or its link left in place) and is not taken for a return.
class VELMORA_API PortReturn
{
public:
    PortReturn() = default;
    // Starts from the node at the port now (when the box was lost).
    explicit PortReturn(const std::string &portName);

    // True once per return: a node is there that was not at the previous look.
    bool hasComeBack();
    const std::string &port() const { return portName; }

private:
    std::string portName;
    PortNode seen;
};

} // namespace velmora
