// A COM port's presence on Windows. A port has no node that could be told apart when it comes back, so a
// reading says only whether the port is there: one that can be opened, or is held open (by this program while
// connected). A box plugged in again is therefore a port seen gone and then there again; a silent box whose
// port stays is never taken for a return.
#include "velmora/portnode.h"

#include <windows.h>

namespace velmora {

// "COM5" is "\\.\COM5", which also reaches COM10 and above; a name that is already a device path stays itself.
std::string portNodePath(const std::string &portName)
{
    return portName.rfind("\\\\.\\", 0) == 0 ? portName : "\\\\.\\" + portName;
}

PortNode portNodeOf(const std::string &portName)
{
    PortNode node;
    if (portName.empty())
        return node;
    const std::string path = portNodePath(portName);
    const HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        ::CloseHandle(port);
        node.exists = true;
        return node;
    }
    const DWORD error = ::GetLastError();
    // Held open (ours while connected, or another program's): the port is there.
    node.exists = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
    return node;
}

} // namespace velmora
