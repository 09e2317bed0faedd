// The records of one read or write batch and the value buffers they point at. Both stay in
// place for as long as the batch is with the library.
#pragma once

#include "include/MovaRecords.h"
#include "tools/movactl/Variable.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace movactl
{

class CVariableBatch
{
public:
    // Every record gets the same connection variable: a batch addresses one slave.
    CVariableBatch(std::vector<SVariable> aVariables, std::uint32_t dwCommand,
                   const SConSpec& connection);
    CVariableBatch(const CVariableBatch&) = delete;
    CVariableBatch& operator=(const CVariableBatch&) = delete;

    SJobParam* GetRecords() { return m_aRecords.data(); }
    std::uint32_t GetCount() const { return static_cast<std::uint32_t>(m_aRecords.size()); }

    const SVariable& GetVariable(std::size_t i) const { return m_aVariables[i]; }
    std::int32_t GetResult(std::size_t i) const { return m_aRecords[i].lResult; }
    // The value buffer as the library left it.
    const std::vector<std::uint8_t>& GetValue(std::size_t i) const { return m_aabyValues[i]; }
    bool AnyFailed() const;
    // For messages about the batch: "read 4:0:16:swap 4:7:8", "write 3:0:8=0x12".
    std::string Describe() const;

private:
    std::vector<SVariable> m_aVariables;
    std::vector<std::vector<std::uint8_t>> m_aabyValues;
    std::vector<SJobParam> m_aRecords;
};

// One record reading a slave's whole input or output image.
SVariable WholeImage(std::uint8_t byAddress, std::uint16_t wLength, bool bOutputs);

} // namespace movactl
