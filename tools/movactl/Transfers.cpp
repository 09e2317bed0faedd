#include "tools/movactl/Transfers.h"

#include "tools/movactl/ResultWords.h"
#include "tools/movactl/ValueText.h"

#include <algorithm>
#include <cstdio>

namespace movactl
{

bool TestConnections(CBoardSession& session, std::vector<SJobParam>& aRecords)
{
    aRecords.clear();
    for (std::uint8_t byAddress : session.GetSlaves())
    {
        SJobParam record{};
        record.dwCommand = JobTestConn;
        record.tsConSpec = session.GetConnection(byAddress);
        record.lResult = kResultNotRun;
        aRecords.push_back(record);
    }
    std::string strSlaves;
    for (std::uint8_t byAddress : session.GetSlaves())
        strSlaves += (strSlaves.empty() ? "" : ", ") + std::to_string(byAddress);
    return session.RunBatch(aRecords.data(), static_cast<std::uint32_t>(aRecords.size()),
                            "connection test of slave" +
                                std::string(session.GetSlaves().size() == 1 ? " " : "s ") +
                                strSlaves);
}

CVariableBatch MakeReadBatch(CBoardSession& session, const std::vector<SVariable>& aVariables)
{
    return CVariableBatch(aVariables, JobRead, session.GetConnection(aVariables.front().byAddress));
}

CVariableBatch MakeWriteBatch(CBoardSession& session, const std::vector<SVariable>& aVariables)
{
    return CVariableBatch(aVariables, JobWrite,
                          session.GetConnection(aVariables.front().byAddress));
}

bool CheckSlavesOnBoard(const CBoardSession& session, const std::vector<SVariable>& aVariables)
{
    std::vector<std::uint8_t> abyMissing;
    for (const SVariable& variable : aVariables)
    {
        if (session.HasSlave(variable.byAddress) ||
            std::find(abyMissing.begin(), abyMissing.end(), variable.byAddress) != abyMissing.end())
            continue;
        abyMissing.push_back(variable.byAddress);
        std::fprintf(stderr, "movactl: %s\n", NoSlaveText(variable.byAddress).c_str());
    }
    return abyMissing.empty();
}

std::string NoSlaveText(std::uint8_t byAddress)
{
    return "no slave at address " + std::to_string(byAddress);
}

void NoteWholeBytes(const std::vector<SVariable>& aVariables)
{
    for (const SVariable& variable : aVariables)
    {
        if (std::string strNote = WholeBytesNote(variable); !strNote.empty())
            std::fprintf(stderr, "movactl: note: %s\n", strNote.c_str());
    }
}

bool ReadVariables(CBoardSession& session, CVariableBatch& batch)
{
    return session.RunBatch(batch.GetRecords(), batch.GetCount(), batch.Describe());
}

bool WriteVariables(CBoardSession& session, CVariableBatch& batch, std::string& strError)
{
    std::uint8_t byAddress = batch.GetVariable(0).byAddress;
    SConSpec connection = session.GetConnection(byAddress);
    if (connection.wLenOut == 0)
    {
        strError = "slave " + std::to_string(byAddress) +
                   " has no outputs in the slave table (is it on the board?)";
        return false;
    }
    connection.lpvBufferIn = nullptr;
    CVariableBatch readBack({WholeImage(byAddress, connection.wLenOut, true)}, JobRead, connection);
    if (!ReadVariables(session, readBack))
    {
        strError = "the read-back of the outputs could not be put";
        return false;
    }
    if (readBack.GetResult(0) != MOVA_RESULT_DONE)
    {
        strError = "reading back the outputs of slave " + std::to_string(byAddress) +
                   " failed: " + DescribeResult(readBack.GetResult(0)) + "; nothing was written";
        return false;
    }
    if (!session.RunBatch(batch.GetRecords(), batch.GetCount(), batch.Describe()))
    {
        strError = "the write could not be put";
        return false;
    }
    return true;
}

CTextTable ConnectionTable(const CBoardSession& session, const std::vector<SJobParam>& aRecords)
{
    CTextTable table({">slave", ">in", ">out", ">status", "result"});
    for (const SJobParam& record : aRecords)
    {
        std::uint8_t byAddress = record.tsConSpec.byL2Addr;
        table.AddRow({std::to_string(byAddress), std::to_string(record.tsConSpec.wLenIn),
                      std::to_string(record.tsConSpec.wLenOut),
                      std::to_string(session.GetStatus(byAddress)),
                      session.HasSlave(byAddress)
                          ? DescribeTestResult(record.lResult, session.GetStatus(byAddress))
                          : NoSlaveText(byAddress)});
    }
    return table;
}

CTextTable ReadTableHeading()
{
    return CTextTable({"variable", ">value", ">hex", "result"});
}

void AddReadRow(CTextTable& table, const SVariable& variable, std::int32_t lResult,
                const std::vector<std::uint8_t>& abyValue)
{
    bool bDone = lResult == MOVA_RESULT_DONE;
    table.AddRow({variable.strText, bDone ? FormatValue(variable, abyValue) : "",
                  bDone ? FormatHex(variable, abyValue) : "", DescribeResult(lResult)});
}

CTextTable ReadTable(const CVariableBatch& batch)
{
    CTextTable table = ReadTableHeading();
    for (std::size_t i = 0; i < batch.GetCount(); ++i)
        AddReadRow(table, batch.GetVariable(i), batch.GetResult(i), batch.GetValue(i));
    return table;
}

CTextTable WriteTable(const CVariableBatch& batch)
{
    CTextTable table({"variable", "result"});
    for (std::size_t i = 0; i < batch.GetCount(); ++i)
        table.AddRow({batch.GetVariable(i).strText, DescribeResult(batch.GetResult(i))});
    return table;
}

} // namespace movactl
