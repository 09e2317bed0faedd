#include "dp/slave/SlaveFile.h"

#include "dp/files/SlaveEntry.h"

#include "sim/GeneratorFields.h"
#include "sim/common/JsonFile.h"

#include <memory>

namespace dp
{

namespace
{

using korix::CFieldReader;
using korix::json;
using korix::MemberPlace;

bool ReadSlaves(CFieldReader& fields, const json& jRoot, std::vector<SSlaveDefinition>& slaves)
{
    if (!fields.CheckKeys(jRoot, "", {"slaves", "comment"}))
        return false;
    return ReadSlaveArray(
        fields, jRoot,
        {"address", "ident", "user_prm", "config", "inputs", "generators", "comment"}, 0xFF,
        [&](const json& jSlave, const std::string& strPlace, const SSlaveIdentity& identity)
        {
            SSlaveDefinition slave;
            if (!fields.ReadHexBytes(jSlave, strPlace, "inputs", slave.abyInitialInputs))
                return false;
            TakeIdentity(identity, slave);
            if (slave.abyInitialInputs.size() > slave.byInputLength)
                return fields.Fail(MemberPlace(strPlace, "inputs"),
                                   "more bytes than the input length " +
                                       std::to_string(slave.byInputLength));
            // The board's slave record carries the lengths the generators are checked against.
            auto pImage = std::make_unique<korix::SBoardSlave>();
            pImage->byInputLength = slave.byInputLength;
            pImage->byOutputLength = slave.byOutputLength;
            if (!korix::ReadGenerators(fields, jSlave, strPlace, slave.byAddress, *pImage))
                return false;
            slave.aGenerators.assign(pImage->aGenerators,
                                     pImage->aGenerators + pImage->byGeneratorCount);
            slaves.push_back(slave);
            return true;
        });
}

} // namespace

bool ParseSlaveFile(const std::string& strText, std::vector<SSlaveDefinition>& slaves,
                    std::string& strError)
{
    json jRoot;
    if (!korix::ParseJsonText(strText, jRoot, strError))
        return false;
    CFieldReader fields;
    std::vector<SSlaveDefinition> read;
    if (!ReadSlaves(fields, jRoot, read))
    {
        strError = fields.Error();
        return false;
    }
    slaves = read;
    return true;
}

} // namespace dp
