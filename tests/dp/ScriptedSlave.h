// A DP slave for the master's tests, written from the telegram layouts with every answer built
// byte by byte: it shares no code with the master (nor with the slave simulator), so a mistake
// the two might share cannot pass unseen. Faults come from the test: a hook sees each request
// and the answer the slave would give, and says what goes on the line instead, and when. Any
// master may read it (RD_Inp, RD_Outp, Get_Cfg, Slave_Diag) whoever parametrised it.
#pragma once

#include "tests/dp/ScriptedLine.h"

#include <cstdint>
#include <functional>

namespace dptest
{

class CScriptedSlave
{
public:
    enum class teState
    {
        WaitPrm,
        WaitCfg,
        DataExchange
    };
    // What goes on the line for a request: the bytes, and how long after the request's end
    // (the slave's station delay). No bytes: silence.
    struct SReply
    {
        Bytes abyBytes;
        std::uint64_t qwDelayNs = 0;
        Bytes abyLater; // more bytes, this long after the request's end
        std::uint64_t qwLaterNs = 0;
    };
    using PFN_FAULT = std::function<void(const dp::STelegram& request, SReply& reply)>;

    CScriptedSlave(CScriptedLine& line, std::uint8_t byAddress, std::uint16_t wIdent,
                   std::uint8_t byInputs, std::uint8_t byOutputs);
    // On any other line: pfnPut puts bytes on it from a time on; the slave answers one
    // character time (its min TSDR of 11 bits) after a request.
    using PFN_PUT = std::function<void(std::uint64_t qwAtNs, const Bytes& abyBytes)>;
    CScriptedSlave(PFN_PUT pfnPut, std::uint64_t qwCharacterNs, std::uint8_t byAddress,
                   std::uint16_t wIdent, std::uint8_t byInputs, std::uint8_t byOutputs);

    // Answers the requests to this slave; one line carries several slaves.
    void Respond(const dp::STelegram& request, std::uint64_t qwEndNs);

    void SetFault(PFN_FAULT pfnFault) { m_pfnFault = std::move(pfnFault); }
    // The inputs of the next Data_Exchange answers.
    void SetInputs(const Bytes& abyInputs) { m_abyInputs = abyInputs; }
    // Diagnosis bits ORed into the station status bytes of every diagnosis.
    void SetDiagnosis(std::uint8_t byStatus1, std::uint8_t byStatus2)
    {
        m_byExtraStatus1 = byStatus1;
        m_byExtraStatus2 = byStatus2;
    }
    // Extended diagnosis: blocks put behind the six fixed bytes of every diagnosis (Ext_Diag in
    // station status 1 is the test's to set with SetDiagnosis).
    void SetExtendedDiagnosis(const Bytes& abyBlocks) { m_abyExtended = abyBlocks; }
    // Data_Exchange answers carry high priority (new diagnosis waits).
    void SetDiagnosisWaits(bool bWaits) { m_bDiagnosisWaits = bWaits; }
    void SetIdentInDiagnosis(std::uint16_t wIdent) { m_wDiagIdent = wIdent; }
    void SetMasterInDiagnosis(std::uint8_t byMaster) { m_byMaster = byMaster; }
    void SetState(teState eState) { m_eState = eState; }
    // What Get_Cfg answers: by default one identifier for the inputs and one for the outputs
    // (0x1n, 0x2n: n + 1 bytes), none for an empty image.
    void SetConfig(const Bytes& abyConfig) { m_abyConfig = abyConfig; }
    // The outputs RD_Outp answers with, as if its owner had sent them (a Data_Exchange's
    // outputs replace them).
    void SetOwnerOutputs(const Bytes& abyOutputs) { m_abyLastOutputs = abyOutputs; }

    teState State() const { return m_eState; }
    std::uint32_t DataExchanges() const { return m_dwDataExchanges; }
    const Bytes& LastSetPrm() const { return m_abyLastSetPrm; }
    const Bytes& LastOutputs() const { return m_abyLastOutputs; }

private:
    Bytes Answer(const dp::STelegram& request);
    Bytes Diagnosis(std::uint8_t byMasterAddress);

    PFN_PUT m_pfnPut;
    std::uint64_t m_qwCharacterNs;
    std::uint8_t m_byAddress;
    std::uint16_t m_wIdent;
    std::uint16_t m_wDiagIdent;
    std::uint8_t m_byInputs;
    std::uint8_t m_byOutputs;
    teState m_eState = teState::WaitPrm;
    std::uint8_t m_byMaster = 0xFF;
    std::uint8_t m_byExtraStatus1 = 0;
    std::uint8_t m_byExtraStatus2 = 0;
    bool m_bDiagnosisWaits = false;
    Bytes m_abyInputs;
    Bytes m_abyExtended;
    Bytes m_abyLastSetPrm;
    Bytes m_abyLastOutputs;
    Bytes m_abyConfig;
    std::uint32_t m_dwDataExchanges = 0;
    PFN_FAULT m_pfnFault;
};

} // namespace dptest
