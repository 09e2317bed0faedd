#include "sim/PlantFile.h"

#include "sim/Generators.h"
#include "sim/PlantFields.h"

#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <vector>

namespace korix
{

namespace
{

constexpr std::uint8_t kDefaultMasterMode = 0xC0;
constexpr std::uint8_t kDefaultSlaveState = 2;
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

// Line and column (from 1) of the byte at nByte (from 1, as the JSON parser counts).
std::string TextPosition(const std::string& strText, std::size_t nByte)
{
    std::size_t nEnd = nByte == 0 ? 0 : std::min(nByte - 1, strText.size());
    std::size_t nLine = 1;
    std::size_t nLineStart = 0;
    for (std::size_t i = 0; i < nEnd; ++i)
    {
        if (strText[i] == '\n')
        {
            ++nLine;
            nLineStart = i + 1;
        }
    }
    return "line " + std::to_string(nLine) + ", column " + std::to_string(nEnd - nLineStart + 1);
}

// The parser's own words without its exception prefix and position.
std::string ParserReason(const char* pszWhat)
{
    std::string strWhat = pszWhat;
    std::size_t nColumn = strWhat.find("column ");
    std::size_t nColon = nColumn == std::string::npos ? nColumn : strWhat.find(": ", nColumn);
    return nColon == std::string::npos ? strWhat : strWhat.substr(nColon + 2);
}

// JSON lets a key repeat in an object and the parser keeps the last value, so
// {"address": 3, "address": 9} would load as address 9 without a word. The parser shows us
// every key as it reads it; this follows the place and stops at the first key seen twice.
class CDuplicateKeyFinder
{
public:
    struct SDuplicate
    {
        std::string strPlace;
    };

    // The parser's callback: throws SDuplicate at the first repeated key.
    bool operator()(int, json::parse_event_t eEvent, json& jParsed)
    {
        switch (eEvent)
        {
        case json::parse_event_t::object_start:
            StartContainer(false);
            break;
        case json::parse_event_t::array_start:
            StartContainer(true);
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            if (!m_aFrames.empty())
                m_aFrames.pop_back();
            break;
        case json::parse_event_t::key:
        {
            SFrame& frame = m_aFrames.back();
            frame.strKey = jParsed.get<std::string>();
            if (!frame.keys.insert(frame.strKey).second)
                throw SDuplicate{Place()};
            break;
        }
        case json::parse_event_t::value:
            if (!m_aFrames.empty() && m_aFrames.back().bArray)
                ++m_aFrames.back().nElements;
            break;
        }
        return true;
    }

private:
    struct SFrame
    {
        bool bArray;
        std::size_t nElements = 0; // arrays: elements begun so far
        std::string strKey;        // objects: the key being read
        std::set<std::string> keys;
    };

    void StartContainer(bool bArray)
    {
        if (!m_aFrames.empty() && m_aFrames.back().bArray)
            ++m_aFrames.back().nElements;
        m_aFrames.push_back(SFrame{bArray, 0, {}, {}});
    }

    // The place of the current key, as the reader's messages name places.
    std::string Place() const
    {
        std::string strPlace;
        for (const SFrame& frame : m_aFrames)
            strPlace = frame.bArray ? ElementPlace(strPlace, frame.nElements - 1)
                                    : MemberPlace(strPlace, frame.strKey);
        return strPlace;
    }

    std::vector<SFrame> m_aFrames;
};

class CPlantReader
{
public:
    bool ReadPlant(const json& jRoot, SPlant& plant);
    const std::string& Error() const { return m_fields.Error(); }

private:
    bool ReadSlave(const json& jSlave, std::size_t nIndex, SPlant& plant);
    bool ReadGenerators(const json& jSlave, const std::string& strPlace, std::uint8_t byAddress,
                        SSlave& slave);
    bool ReadGenerator(const json& jGenerator, const std::string& strPlace, std::uint8_t byAddress,
                       const SSlave& slave, SGenerator& generator);
    bool ReadKindFields(const json& jGenerator, const std::string& strPlace, std::uint8_t byAddress,
                        const SSlave& slave, SGenerator& generator);
    bool ReadSine(const json& jGenerator, const std::string& strPlace, SGenerator& generator);

    CFieldReader m_fields;
    std::array<int, kBoardSlaveCount> m_anSlaveOfAddress{}; // index in "slaves" + 1, 0 = free
};

bool CPlantReader::ReadPlant(const json& jRoot, SPlant& plant)
{
    if (!jRoot.is_object())
        return m_fields.Fail("", "the plant must be a JSON object");
    std::uint64_t qwMode = 0;
    const json* pjSlaves = nullptr;
    if (!m_fields.CheckKeys(jRoot, "", {"master_mode", "slaves", "comment"}) ||
        !m_fields.ReadUnsigned(jRoot, "", "master_mode", 0xFF, kDefaultMasterMode, qwMode) ||
        !m_fields.ReadArray(jRoot, "", "slaves", pjSlaves))
        return false;
    if (pjSlaves == nullptr)
        return m_fields.Fail("", "\"slaves\" is missing");
    plant.byMasterMode = static_cast<std::uint8_t>(qwMode);
    for (std::size_t i = 0; i < pjSlaves->size(); ++i)
    {
        if (!ReadSlave((*pjSlaves)[i], i, plant))
            return false;
    }
    return true;
}

bool CPlantReader::ReadSlave(const json& jSlave, std::size_t nIndex, SPlant& plant)
{
    const std::string strPlace = ElementPlace("slaves", nIndex);
    std::uint64_t qwAddress = 0, qwInputs = 0, qwOutputs = 0, qwState = 0;
    if (!m_fields.CheckKeys(jSlave, strPlace,
                            {"address", "input_length", "output_length", "state", "inputs",
                             "outputs", "generators", "comment"}) ||
        !m_fields.ReadUnsigned(jSlave, strPlace, "address", kBoardSlaveCount - 1, std::nullopt,
                               qwAddress) ||
        !m_fields.ReadUnsigned(jSlave, strPlace, "input_length", kMaxDataLength, std::nullopt,
                               qwInputs) ||
        !m_fields.ReadUnsigned(jSlave, strPlace, "output_length", kMaxDataLength, std::nullopt,
                               qwOutputs) ||
        !m_fields.ReadUnsigned(jSlave, strPlace, "state", 0xFF, kDefaultSlaveState, qwState))
        return false;
    int& nOwner = m_anSlaveOfAddress[qwAddress];
    if (nOwner != 0)
        return m_fields.Fail(MemberPlace(strPlace, "address"),
                             std::to_string(qwAddress) + " is already used by " +
                                 ElementPlace("slaves", static_cast<std::size_t>(nOwner - 1)));
    nOwner = static_cast<int>(nIndex) + 1;

    SSlave& slave = plant.aSlaves[qwAddress];
    slave.byPresent = 1;
    slave.byState = static_cast<std::uint8_t>(qwState);
    slave.byInputLength = static_cast<std::uint8_t>(qwInputs);
    slave.byOutputLength = static_cast<std::uint8_t>(qwOutputs);

    std::vector<std::uint8_t> abyBytes;
    for (const char* pszKey : {"inputs", "outputs"})
    {
        bool bInputs = std::strcmp(pszKey, "inputs") == 0;
        std::uint64_t qwLength = bInputs ? qwInputs : qwOutputs;
        if (!m_fields.ReadHexBytes(jSlave, strPlace, pszKey, abyBytes))
            return false;
        if (abyBytes.size() > qwLength)
            return m_fields.Fail(MemberPlace(strPlace, pszKey),
                                 Bytes(abyBytes.size()) + " is more than the " +
                                     (bInputs ? "input" : "output") + " length " +
                                     std::to_string(qwLength));
        if (!abyBytes.empty())
            std::memcpy(bInputs ? slave.abyInput : slave.abyOutput, abyBytes.data(),
                        abyBytes.size());
    }
    return ReadGenerators(jSlave, strPlace, static_cast<std::uint8_t>(qwAddress), slave);
}

bool CPlantReader::ReadGenerators(const json& jSlave, const std::string& strPlace,
                                  std::uint8_t byAddress, SSlave& slave)
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

bool CPlantReader::ReadGenerator(const json& jGenerator, const std::string& strPlace,
                                 std::uint8_t byAddress, const SSlave& slave, SGenerator& generator)
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
                             "unknown kind \"" + strKind +
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

bool CPlantReader::ReadKindFields(const json& jGenerator, const std::string& strPlace,
                                  std::uint8_t byAddress, const SSlave& slave,
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

bool CPlantReader::ReadSine(const json& jGenerator, const std::string& strPlace,
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

bool ParsePlant(const std::string& strText, SPlant& plant, std::string& strError)
{
    json jRoot;
    try
    {
        jRoot = json::parse(strText, CDuplicateKeyFinder());
    }
    catch (const json::parse_error& e)
    {
        strError = TextPosition(strText, e.byte) + ": " + ParserReason(e.what());
        return false;
    }
    catch (const CDuplicateKeyFinder::SDuplicate& duplicate)
    {
        strError = duplicate.strPlace + ": the key is given twice";
        return false;
    }
    auto pPlant = std::make_unique<SPlant>();
    CPlantReader reader;
    if (!reader.ReadPlant(jRoot, *pPlant))
    {
        strError = reader.Error();
        return false;
    }
    plant.byMasterMode = pPlant->byMasterMode;
    std::memcpy(plant.aSlaves, pPlant->aSlaves, sizeof plant.aSlaves);
    return true;
}

} // namespace korix
