// Windows has no lock files for serial ports: a port opened without sharing is held alone by
// the system, and by the named mutex of dp/line/win32/SerialPort.cpp where the system does not
// (Wine). What the master does with the lock on Linux therefore holds nothing more here.
#include "dp/line/SerialPortLock.h"

namespace dp
{

CSerialPortLock::CSerialPortLock(std::string strLockDir) : m_strLockDir(std::move(strLockDir)) {}

CSerialPortLock::~CSerialPortLock()
{
    Release();
}

std::string CSerialPortLock::DefaultLockDir()
{
    return {};
}

std::string CSerialPortLock::LockFileName(const std::string& strPort)
{
    return strPort;
}

bool CSerialPortLock::Take(const std::string&, std::string&)
{
    m_strWarning.clear();
    return true;
}

void CSerialPortLock::Release()
{
    m_strLockPath.clear();
}

bool HoldPortExclusively(int, const std::string&, std::string&)
{
    return true;
}

void ReleasePortExclusively(int) {}

} // namespace dp
