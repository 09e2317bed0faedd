#include "sim/PlantFile.h"

#include "sim/GeneratorFields.h"
#include "sim/common/JsonFile.h"
#include "sim/common/PlantFields.h"

#include "board/BoardStates.h"

#include <array>
#include <cstring>
#include <memory>
#include <vector>

namespace korix
{

namespace
{

// "1 byte", "4 bytes".
std::string Bytes(std::size_t nCount)
{
    return std::to_string(nCount) + (nCount == 1 ? " byte" : " bytes");
}

class CPlantReader
{
public:
    bool ReadPlant(const json& jRoot, SPlant& plant);
    const std::string& Error() const { return m_fields.Error(); }

private:
    bool ReadSlave(const json& jSlave, std::size_t nIndex, SPlant& plant);

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

    SBoardSlave& slave = plant.aSlaves[qwAddress];
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
    return ReadGenerators(m_fields, jSlave, strPlace, static_cast<std::uint8_t>(qwAddress), slave);
}

} // namespace

bool ParsePlant(const std::string& strText, SPlant& plant, std::string& strError)
{
    json jRoot;
    if (!ParseJsonText(strText, jRoot, strError))
        return false;
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
