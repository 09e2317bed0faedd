// Serves a board of the board library with a DP master: the board's plant becomes the bus's
// slaves, so that every process that opens the board through the eight operations reads the
// real inputs and slave states and writes the real outputs.
//
// Once per bus cycle, under the board's lock, Exchange() expires the hosts' overdue watchdogs
// (their outputs drop to 0 in the plant), hands the outputs the hosts wrote to the master,
// puts the inputs, slave states and master mode of the last cycle into the plant, and picks
// the master's mode: clear while a host that writes outputs has let its watchdog expire,
// operate otherwise. The master's registration (marked as the serving one) tells every other
// process when the master has died (sim/ServedBoard.h). Each exchange also posts how fresh
// the board is (the heartbeat, when each slave's inputs were brought, and the bound within
// which the master promises them anew), so that a master that lives but stalls is not taken
// for a live one either.
//
// A passive monitor (dp/monitor/) is served the same way, through IServedSlaves: its slaves
// are read-only, and the outputs the board shows are the ones its master was seen to send.
#pragma once

#include "dp/master/DpMaster.h"
#include "dp/master/ServedSlaves.h"

#include "sim/SharedBoardLayout.h"

#include <cstdint>
#include <optional>
#include <string>

namespace dp
{

class CBoardLink
{
public:
    CBoardLink(std::uint8_t byBoard, CDpMaster& master, const std::string& strSource);
    CBoardLink(std::uint8_t byBoard, IServedSlaves& slaves, const std::string& strSource);
    ~CBoardLink(); // Detach()
    CBoardLink(const CBoardLink&) = delete;
    CBoardLink& operator=(const CBoardLink&) = delete;

    // Registers as the board's serving master and installs the bus's slaves as its plant;
    // false with the reason (the board cannot be opened, another master serves it, no free
    // registration).
    bool Attach(std::string& strError);

    // One exchange with the board, before each bus cycle. False when the board is lost.
    bool Exchange(std::string& strError);

    // The board reports its master offline and every slave unreachable; the registration ends.
    void Detach();

    // The pause the owner makes between cycles at most (korix-dpmaster's --cycle-us), which
    // the promised bound must cover; 0 unless set.
    void SetCyclePauseUs(std::uint32_t dwCycleUs) { m_dwCyclePauseUs = dwCycleUs; }

    // The bound the master promises: a slave's posted inputs are never older, nor is its last
    // exchange with the board, while it runs as it should. Never 0.
    std::uint32_t PromisedBoundMs() const;

private:
    bool Register(korix::SBoardState& state, std::string& strError);
    void PostHeartbeat(korix::SBoardState& state, std::uint32_t dwNow) const;

    std::uint8_t m_byBoard;
    std::optional<CMasterSlaves> m_ownMaster; // when a master is served
    IServedSlaves& m_master;
    std::string m_strSource;
    bool m_bAttached = false;
    std::uint8_t m_bySlot = 0;
    std::uint8_t m_byGeneration = 0;
    std::uint32_t m_dwCyclePauseUs = 0;
};

} // namespace dp
