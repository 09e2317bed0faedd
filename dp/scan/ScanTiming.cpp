#include "dp/scan/ScanTiming.h"

#include "dp/fdl/Telegram.h"
#include "dp/master/LineExchange.h"
#include "dp/services/DpServices.h"

#include <algorithm>

namespace dp
{

namespace
{

class CNoLine : public IDpLine
{
public:
    bool Send(const std::uint8_t*, std::size_t) override { return false; }
    long Receive(std::uint8_t*, std::size_t, std::uint64_t) override { return -1; }
    void WaitUntil(std::uint64_t) override {}
    long Drain() override { return -1; }
    bool Paced() const override { return true; }
};

} // namespace

std::uint64_t TimeOutBits(const SBusParameters& bus, std::uint8_t byAddress)
{
    return (6ull + 2ull * byAddress) * bus.dwSlotTime;
}

std::uint64_t ScanPassBoundNs(const SBusParameters& bus, std::uint32_t dwResponseAllowanceUs,
                              std::uint32_t nAddresses, std::uint32_t nSlaves)
{
    // The exchange's own bound, so that the figure cannot drift from what it waits.
    CNoLine line;
    const CLineExchange exchange(line, bus, dwResponseAllowanceUs, 0);
    const std::uint64_t qwTries = 1ull + bus.dwRetryLimit;
    const std::size_t nServiceRequest = TelegramSize(teFrame::Sd2, kSapUnits);
    const std::size_t nLongestAnswer = TelegramSize(teFrame::Sd2, kSapUnits + kMaxDpDataBytes);
    const std::uint64_t qwQuiet = exchange.QuietBoundNs();
    const std::uint64_t qwStatus = exchange.TransactBoundNs(kSd1Size, kSd1Size) - qwQuiet;
    const std::uint64_t qwService =
        exchange.TransactBoundNs(nServiceRequest, nLongestAnswer) - qwQuiet;
    return qwQuiet + qwTries * (nAddresses * qwStatus + 2ull * nSlaves * qwService);
}

std::uint32_t RingScanTargetRotationBits(const SBusParameters& bus, std::uint32_t nRequests)
{
    const std::uint64_t qwIdle = IdleTime1Bits(bus);
    const std::uint64_t qwStatusCycle =
        qwIdle + 2ull * kSd1Size * kBitsPerCharacter + bus.dwMaxTsdr;
    const std::uint64_t qwPass = qwIdle + kSd4Size * kBitsPerCharacter;
    const std::uint64_t qwBits =
        2 * (std::max<std::uint32_t>(1, nRequests) * qwStatusCycle + qwPass);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(qwBits, 0xFFFFFFu));
}

} // namespace dp
