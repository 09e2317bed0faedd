// The list of active stations (LAS): the masters in the token ring, as the token telegrams heard
// on the line show them. A station passing the token is in the ring; the stations its pass
// skips, between it and the one it passes to, are not (a station passing the token to itself
// believes it is alone). Addresses run in a circle from 0 to the highest station address (HSA).
#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

namespace dp
{

class CActiveStationList
{
public:
    explicit CActiveStationList(std::uint8_t byHighestAddress);

    void Clear() { m_members.reset(); }
    void Add(std::uint8_t byAddress);
    void Remove(std::uint8_t byAddress);
    bool Contains(std::uint8_t byAddress) const;
    // A token pass heard; false (and nothing learnt) when an address lies beyond the HSA.
    bool NoteTokenPass(std::uint8_t bySource, std::uint8_t byDestination);

    // The member before (after) an address, going round the circle; the address itself when
    // no other member is there.
    std::uint8_t Predecessor(std::uint8_t byAddress) const;
    std::uint8_t Successor(std::uint8_t byAddress) const;
    std::vector<std::uint8_t> Members() const;
    std::uint8_t HighestAddress() const { return m_byHighest; }
    // The address after (before) one on the circle.
    std::uint8_t Next(std::uint8_t byAddress) const;
    std::uint8_t Previous(std::uint8_t byAddress) const;

private:
    std::uint8_t m_byHighest;
    std::bitset<128> m_members;
};

} // namespace dp
