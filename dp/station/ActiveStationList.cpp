#include "dp/station/ActiveStationList.h"

namespace dp
{

CActiveStationList::CActiveStationList(std::uint8_t byHighestAddress)
    : m_byHighest(byHighestAddress > 126 ? 126 : byHighestAddress)
{
}

void CActiveStationList::Add(std::uint8_t byAddress)
{
    if (byAddress <= m_byHighest)
        m_members.set(byAddress);
}

void CActiveStationList::Remove(std::uint8_t byAddress)
{
    if (byAddress <= m_byHighest)
        m_members.reset(byAddress);
}

bool CActiveStationList::Contains(std::uint8_t byAddress) const
{
    return byAddress <= m_byHighest && m_members.test(byAddress);
}

std::uint8_t CActiveStationList::Next(std::uint8_t byAddress) const
{
    return byAddress >= m_byHighest ? 0 : static_cast<std::uint8_t>(byAddress + 1);
}

std::uint8_t CActiveStationList::Previous(std::uint8_t byAddress) const
{
    return byAddress == 0 || byAddress > m_byHighest ? m_byHighest
                                                     : static_cast<std::uint8_t>(byAddress - 1);
}

bool CActiveStationList::NoteTokenPass(std::uint8_t bySource, std::uint8_t byDestination)
{
    if (bySource > m_byHighest || byDestination > m_byHighest)
        return false;
    for (std::uint8_t by = Next(bySource); by != byDestination && by != bySource; by = Next(by))
        m_members.reset(by);
    m_members.set(bySource);
    return true;
}

std::uint8_t CActiveStationList::Predecessor(std::uint8_t byAddress) const
{
    for (std::uint8_t by = Previous(byAddress); by != byAddress; by = Previous(by))
    {
        if (m_members.test(by))
            return by;
        if (byAddress > m_byHighest && by == 0)
            break;
    }
    return byAddress;
}

std::uint8_t CActiveStationList::Successor(std::uint8_t byAddress) const
{
    for (std::uint8_t by = Next(byAddress); by != byAddress; by = Next(by))
    {
        if (m_members.test(by))
            return by;
        if (byAddress > m_byHighest && by == m_byHighest)
            break;
    }
    return byAddress;
}

std::vector<std::uint8_t> CActiveStationList::Members() const
{
    std::vector<std::uint8_t> aby;
    for (std::uint8_t by = 0; by <= m_byHighest; ++by)
        if (m_members.test(by))
            aby.push_back(by);
    return aby;
}

} // namespace dp
