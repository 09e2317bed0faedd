// USB serial adapters (FTDI and the like) collect received bytes for their latency timer, by
// default 16 ms, before they hand them to the host: every answer of a slave then reaches the
// master that much late, and a bus cycle takes tens of milliseconds instead of one. The timer
// is in sysfs, where root can lower it to 1 ms (docs/dp-master.md, "USB adapters").
#pragma once

#include <string>

namespace dp
{

// The latency timer of the USB serial adapter behind the port, in milliseconds; -1 when the
// port is no such adapter or its driver has no timer. strSysRoot stands for /sys.
int ReadUsbLatencyTimer(const std::string& strPort, const std::string& strSysRoot = "/sys");

// What to tell the user when the timer is above 1 ms; empty when there is nothing to say.
std::string UsbLatencyAdvice(const std::string& strPort, const std::string& strSysRoot = "/sys");

} // namespace dp
