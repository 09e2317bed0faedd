#include "sim/GeneratorFields.h"

#include "sim/Generators.h"

#include <array>
#include <limits>

namespace korix
{

namespace
{

constexpr std::uint32_t kDefaultCounterPeriodMs = 10;
constexpr std::uint32_t kDefaultSinePeriodMs = 1000;
constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();

std::string Range(unsigned nFirst, unsigned nLength)
{
    return std::to_string(nFirst) + ".." + std::to_string(nFirst + nLength - 1);
}

// "1 byte", "4 bytes".
std::string Bytes(std::size_t nCount)
{
    return std::to_string(nCount) + (nCount == 1 ? " byte" : " bytes");
}

// The largest unsigned value that byLength big-endian bytes hold.
std::uint64_t MaxUnsigned(unsigned nLength)
{
    return nLength >= 8 ? std::numeric_limits<std::uint64_t>::max()
                        : (std::uint64_t{1} << (8 * nLength)) - 1;
}

void SplitValue(std::uint64_t qwValue, SGenerator& generator)
{
    generator.dwValueHigh = static_cast<std::uint32_t>(qwValue >> 32);
    generator.dwValueLow = static_cast<std::uint32_t>(qwValue);
}

class CGeneratorReader
{
public:
    explicit CGeneratorReader(CFieldReader& fields) : m_fields(fields) {}

    bool ReadGenerators(const json& jSlave, const std::string& strPlace, std::uint8_t byAddress,
                        SBoardSlave& slave);

private:
    bool ReadGenerator(const json& jGenerator, const std::string& strPlace, std::uint8_t byAddress,
                       const SBoardSlave& slave, SGenerator& generator);
    bool ReadKindFields(const json& jGenerator, const std::string& strPlace, std::uint8_t byAddress,
                        const SBoardSlave& slave, SGenerator& generator);
    bool ReadSine(const json& jGenerator, const std::string& strPlace, SGenerator& generator);

    CFieldReader& m_fields;
};

bool CGeneratorReader::ReadGenerators(const json& jSlave, const std::string& strPlace,
                                      std::uint8_t byAddress, SBoardSlave& slave)
{
    std::string strList = MemberPlace(strPlace, "generators");
    const json* pjGenerators = nullptr;
    if (!m_fields.ReadArray(jSlave, strPlace, "generators", pjGenerators))
        return false;
    if (pjGenerators == nullptr)
        return true;
    if (pjGenerators->size() > kMaxGenerators)
        return m_fields.Fail(strList,
                             "more than " + std::to_string(kMaxGenerators) + " generators");
    std::array<int, kMaxDataLength> anOwner; // generator index per input byte, -1 = none
    anOwner.fill(-1);
    for (std::size_t i = 0; i < pjGenerators->size(); ++i)
    {
        std::string strItem = ElementPlace(strList, i);
        SGenerator& generator = slave.aGenerators[i];
        if (!ReadGenerator((*pjGenerators)[i], strItem, byAddress, slave, generator))
            return false;
        for (unsigned n = generator.byOffset; n < generator.byOffset + generator.byLength; ++n)
        {
            if (anOwner[n] >= 0)
                return m_fields.Fail(strItem,
                                     "bytes " + Range(generator.byOffset, generator.byLength) +
                                         " overlap generators[" + std::to_string(anOwner[n]) + "]");
            anOwner[n] = static_cast<int>(i);
        }
        slave.byGeneratorCount = static_cast<std::uint8_t>(i + 1);
    }
    return true;
}

bool CGeneratorReader::ReadGenerator(const json& jGenerator, const std::string& strPlace,
                                     std::uint8_t byAddress, const SBoardSlave& slave,
                                     SGenerator& generator)
{
    if (!jGenerator.is_object())
        return m_fields.Fail(strPlace, "must be an object");
    std::string strKind;
    if (!m_fields.ReadString(jGenerator, strPlace, "kind", strKind))
        return false;
    for (std::uint8_t byKind = GenConstant; byKind <= GenRandom; ++byKind)
    {
        if (strKind == GeneratorKindName(byKind))
            generator.byKind = byKind;
    }
    if (generator.byKind == GenNone)
        return m_fields.Fail(MemberPlace(strPlace, "kind"),
                             "unknown kind \"" + QuotedInput(strKind) +
                                 "\" (constant, counter, sine, loopback or random)");

    std::uint64_t qwOffset = 0, qwLength = 0;
    if (!m_fields.ReadUnsigned(jGenerator, strPlace, "offset", kMaxDataLength - 1, std::nullopt,
                               qwOffset) ||
        !m_fields.ReadUnsigned(jGenerator, strPlace, "length", kMaxDataLength, std::nullopt,
                               qwLength))
        return false;
    if (qwOffset >= slave.byInputLength)
        return m_fields.Fail(MemberPlace(strPlace, "offset"),
                             "beyond the input length " + std::to_string(slave.byInputLength));
    if (qwLength == 0)
        return m_fields.Fail(MemberPlace(strPlace, "length"), "must be at least 1");
    if (qwOffset + qwLength > slave.byInputLength)
        return m_fields.Fail(
            MemberPlace(strPlace, "length"),
            "bytes " + Range(static_cast<unsigned>(qwOffset), static_cast<unsigned>(qwLength)) +
                " reach beyond the input length " + std::to_string(slave.byInputLength));
    generator.byOffset = static_cast<std::uint8_t>(qwOffset);
    generator.byLength = static_cast<std::uint8_t>(qwLength);
    return ReadKindFields(jGenerator, strPlace, byAddress, slave, generator);
}

bool CGeneratorReader::ReadKindFields(const json& jGenerator, const std::string& strPlace,
                                      std::uint8_t byAddress, const SBoardSlave& slave,
                                      SGenerator& generator)
{
    const std::string strLength = MemberPlace(strPlace, "length");
    std::uint64_t qwValue = 0, qwPeriod = 0, qwStep = 0, qwSource = 0, qwSeed = 0;
    switch (generator.byKind)
    {
    case GenConstant:
        if (!m_fields.CheckKeys(jGenerator, strPlace,
                                {"kind", "offset", "length", "value", "comment"}) ||
            !m_fields.ReadUnsigned(jGenerator, strPlace, "value", MaxUnsigned(generator.byLength),
                                   std::nullopt, qwValue))
            return false;
        SplitValue(qwValue, generator);
        return true;
    case GenCounter:
        if (generator.byLength > 8)
            return m_fields.Fail(strLength, "a counter is 1 to 8 bytes long");
        if (!m_fields.CheckKeys(
                jGenerator, strPlace,
                {"kind", "offset", "length", "period_ms", "step", "start", "comment"}) ||
            !m_fields.ReadUnsigned(jGenerator, strPlace, "period_ms", kMaxU32,
                                   kDefaultCounterPeriodMs, qwPeriod) ||
            !m_fields.ReadUnsigned(jGenerator, strPlace, "step", kMaxU32, 1, qwStep) ||
            !m_fields.ReadUnsigned(jGenerator, strPlace, "start", MaxUnsigned(generator.byLength),
                                   0, qwValue))
            return false;
        if (qwPeriod == 0)
            return m_fields.Fail(MemberPlace(strPlace, "period_ms"), "must be at least 1");
        generator.dwPeriodMs = static_cast<std::uint32_t>(qwPeriod);
        generator.dwStep = static_cast<std::uint32_t>(qwStep);
        SplitValue(qwValue, generator);
        return true;
    case GenSine:
        return ReadSine(jGenerator, strPlace, generator);
    case GenLoopback:
        if (!m_fields.CheckKeys(jGenerator, strPlace,
                                {"kind", "offset", "length", "source", "comment"}) ||
            !m_fields.ReadUnsigned(jGenerator, strPlace, "source", kMaxDataLength - 1,
                                   generator.byOffset, qwSource))
            return false;
        if (qwSource + generator.byLength > slave.byOutputLength)
            return m_fields.Fail(
                MemberPlace(strPlace, "source"),
                "output bytes " + Range(static_cast<unsigned>(qwSource), generator.byLength) +
                    " reach beyond the output length " + std::to_string(slave.byOutputLength));
        generator.bySource = static_cast<std::uint8_t>(qwSource);
        return true;
    case GenRandom:
        if (!m_fields.CheckKeys(jGenerator, strPlace,
                                {"kind", "offset", "length", "seed", "comment"}) ||
            !m_fields.ReadUnsigned(jGenerator, strPlace, "seed", kMaxU32,
                                   DefaultRandomSeed(byAddress, generator.byOffset), qwSeed))
            return false;
        if (qwSeed == 0)
            return m_fields.Fail(MemberPlace(strPlace, "seed"), "must be at least 1");
        generator.dwRandomState = static_cast<std::uint32_t>(qwSeed);
        return true;
    default:
        return false;
    }
}

bool CGeneratorReader::ReadSine(const json& jGenerator, const std::string& strPlace,
                                SGenerator& generator)
{
    if (generator.byLength > 4)
        return m_fields.Fail(MemberPlace(strPlace, "length"), "a sine is 1 to 4 bytes long");
    const std::int64_t nMax = (std::int64_t{1} << (8 * generator.byLength - 1)) - 1;
    std::uint64_t qwPeriod = 0;
    std::int64_t nAmplitude = 0, nCenter = 0;
    if (!m_fields.CheckKeys(
            jGenerator, strPlace,
            {"kind", "offset", "length", "period_ms", "amplitude", "center", "comment"}) ||
        !m_fields.ReadUnsigned(jGenerator, strPlace, "period_ms", kMaxU32, kDefaultSinePeriodMs,
                               qwPeriod) ||
        !m_fields.ReadSigned(jGenerator, strPlace, "amplitude", 0, nMax, nMax, nAmplitude) ||
        !m_fields.ReadSigned(jGenerator, strPlace, "center", -nMax - 1, nMax, 0, nCenter))
        return false;
    if (qwPeriod == 0)
        return m_fields.Fail(MemberPlace(strPlace, "period_ms"), "must be at least 1");
    if (nCenter + nAmplitude > nMax || nCenter - nAmplitude < -nMax - 1)
        return m_fields.Fail(MemberPlace(strPlace, "amplitude"),
                             "center " + std::to_string(nCenter) + " +/- amplitude " +
                                 std::to_string(nAmplitude) + " leaves the range " +
                                 std::to_string(-nMax - 1) + ".." + std::to_string(nMax) + " of " +
                                 Bytes(generator.byLength));
    generator.dwPeriodMs = static_cast<std::uint32_t>(qwPeriod);
    generator.nAmplitude = static_cast<std::int32_t>(nAmplitude);
    generator.nCenter = static_cast<std::int32_t>(nCenter);
    return true;
}

} // namespace

bool ReadGenerators(CFieldReader& fields, const json& jSlave, const std::string& strPlace,
                    std::uint8_t byAddress, SBoardSlave& slave)
{
    return CGeneratorReader(fields).ReadGenerators(jSlave, strPlace, byAddress, slave);
}

} // namespace korix
