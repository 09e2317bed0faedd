#include "dp/line/UsbLatency.h"

#include <cstdio>
#include <cstdlib>

namespace dp
{

namespace
{

// ttyUSB0 for /dev/ttyUSB0 or a link to it (/dev/serial/by-id/...).
std::string KernelName(const std::string& strPort)
{
    std::string strDevice = strPort;
    if (char* pszReal = ::realpath(strPort.c_str(), nullptr))
    {
        strDevice = pszReal;
        std::free(pszReal);
    }
    return strDevice.substr(strDevice.find_last_of('/') + 1);
}

std::string TimerPath(const std::string& strPort, const std::string& strSysRoot)
{
    return strSysRoot + "/class/tty/" + KernelName(strPort) + "/device/latency_timer";
}

} // namespace

int ReadUsbLatencyTimer(const std::string& strPort, const std::string& strSysRoot)
{
    std::FILE* pFile = std::fopen(TimerPath(strPort, strSysRoot).c_str(), "r");
    if (pFile == nullptr)
        return -1;
    int nMs = -1;
    if (std::fscanf(pFile, "%d", &nMs) != 1 || nMs < 0)
        nMs = -1;
    std::fclose(pFile);
    return nMs;
}

std::string UsbLatencyAdvice(const std::string& strPort, const std::string& strSysRoot)
{
    const int nMs = ReadUsbLatencyTimer(strPort, strSysRoot);
    if (nMs <= 1)
        return {};
    return strPort + " is a USB adapter whose latency timer is " + std::to_string(nMs) +
           " ms: every answer of a slave waits that long before the master sees it. As root: "
           "echo 1 > " +
           TimerPath(strPort, "/sys") + " (docs/dp-master.md, \"USB adapters\")";
}

} // namespace dp
