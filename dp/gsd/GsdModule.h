// What a GSD file says about one module (Module ... EndModule), and the parameter entries that
// a module and the station itself both have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dp
{

// Ext_User_Prm_Data_Const(offset) = bytes
struct SGsdPrmConst
{
    std::size_t nOffset = 0;
    std::vector<std::uint8_t> abyBytes;
    std::size_t nLine = 0;
};

// Ext_User_Prm_Data_Ref(offset) = ExtUserPrmData id
struct SGsdPrmRef
{
    std::size_t nOffset = 0;
    std::uint32_t dwPrmId = 0;
    std::size_t nLine = 0;
};

// The user parameter bytes of the station or of one module; offsets count from the block's
// first byte. The reader fills nLength once the whole file is read: the declared length where
// one is given, otherwise the end of the last entry.
struct SGsdPrmBlock
{
    std::vector<SGsdPrmConst> consts;
    std::vector<SGsdPrmRef> refs;
    std::size_t nDeclaredLength = 0;
    std::size_t nDeclaredLine = 0; // 0: no length declared
    std::size_t nLength = 0;
};

struct SGsdModule
{
    std::string strName;
    std::size_t nLine = 0;
    std::vector<std::uint8_t> abyConfig;
    std::uint32_t dwReference = 0; // the number on the line after Module, where given
    bool bHasReference = false;
    SGsdPrmBlock prm; // Ext_Module_Prm_Data_Len and the module's own entries
};

} // namespace dp
