// A COM port's presence on Windows. A COM port has no node that could be told apart when it comes back, so a
// reading says only whether the port is there. A box plugged in again is therefore a port seen gone and then there
// again; a silent box whose port stays is never taken for a return. A port named by a path reads as a file.
#include "velmora/portnode.h"

#include <windows.h>

namespace velmora {

namespace {

bool isPath(const std::string &name)
{
    return name.find_first_of("/\\") != std::string::npos;
}

// A file or a device named by a path (a test's stand-in for a port): its volume and file index, as an inode.
PortNode fileNodeOf(const std::string &path)
{
    PortNode node;
    const HANDLE file = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return node;
    BY_HANDLE_FILE_INFORMATION info {};
    if (::GetFileInformationByHandle(file, &info)) {
        node.exists = true;
        node.inode = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        node.device = info.dwVolumeSerialNumber;
    }
    ::CloseHandle(file);
    return node;
}

// A COM port is there when it can be opened, or is held open (ours while connected, or another program's).
PortNode comPortNodeOf(const std::string &path)
{
    PortNode node;
    const HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        ::CloseHandle(port);
        node.exists = true;
        return node;
    }
    const DWORD error = ::GetLastError();
    node.exists = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY;
    return node;
}

} // namespace

// "COM5" is "\\.\COM5", which also reaches COM10 and above; a path stays itself.
std::string portNodePath(const std::string &portName)
{
    return isPath(portName) ? portName : "\\\\.\\" + portName;
}

PortNode portNodeOf(const std::string &portName)
{
    if (portName.empty())
        return PortNode();
    return isPath(portName) ? fileNodeOf(portName) : comPortNodeOf(portNodePath(portName));
}

} // namespace velmora
