// The batches every command is made of: test the connections, read variables, write
// variables after reading back the outputs; and their results as tables.
#pragma once

#include "tools/movactl/BoardSession.h"
#include "tools/movactl/TextTable.h"
#include "tools/movactl/VariableBatch.h"

#include <string>
#include <vector>

namespace movactl
{

// One JobTestConn record per configured slave, in one batch; false if it could not be put.
bool TestConnections(CBoardSession& session, std::vector<SJobParam>& aRecords);

// A read batch of the variables, which all name one configured slave.
CVariableBatch MakeReadBatch(CBoardSession& session, const std::vector<SVariable>& aVariables);
CVariableBatch MakeWriteBatch(CBoardSession& session, const std::vector<SVariable>& aVariables);

bool ReadVariables(CBoardSession& session, CVariableBatch& batch);

// Says "no slave at address N" on standard error for each address of the variables where the
// board has no slave; false if there was one.
bool CheckSlavesOnBoard(const CBoardSession& session, const std::vector<SVariable>& aVariables);
std::string NoSlaveText(std::uint8_t byAddress);

// "movactl: note: 3:0:12 is 2 whole bytes ..." on standard error for each variable whose width
// the library rounds up to whole bytes (WholeBytesNote).
void NoteWholeBytes(const std::vector<SVariable>& aVariables);

// A write sends the slave's whole output image, so the image must first hold the current
// outputs: a read batch with only the output buffer fetches them, then the write composes its
// variables into it. False, with the reason, when it did not get as far as the write.
bool WriteVariables(CBoardSession& session, CVariableBatch& batch, std::string& strError);

// address, lengths, status and result of each test record
CTextTable ConnectionTable(const CBoardSession& session, const std::vector<SJobParam>& aRecords);
// variable, value, hex, result of each record
CTextTable ReadTable(const CVariableBatch& batch);
CTextTable ReadTableHeading();
void AddReadRow(CTextTable& table, const SVariable& variable, std::int32_t lResult,
                const std::vector<std::uint8_t>& abyValue);
// variable and result of each record
CTextTable WriteTable(const CVariableBatch& batch);

} // namespace movactl
