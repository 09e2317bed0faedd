#include "dp/services/ConfigBytes.h"

#include "dp/services/ServiceData.h"

namespace dp
{

bool ConfigImageLengths(const std::uint8_t* pbyConfig, std::size_t nCount, SImageLengths& lengths,
                        std::string& strError)
{
    lengths = SImageLengths{};
    CConfigReader reader(ByteView(pbyConfig, nCount));
    SConfigIdentifier identifier;
    while (reader.Next(identifier))
    {
        lengths.dwInputs += identifier.wInputBytes;
        lengths.dwOutputs += identifier.wOutputBytes;
    }
    if (reader.Error() != nullptr)
    {
        strError = "byte " + std::to_string(reader.ErrorAt()) + ": " + reader.Error();
        return false;
    }
    return true;
}

} // namespace dp
