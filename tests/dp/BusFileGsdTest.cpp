// Slaves of a bus file configured from their device description (GSD) files: what the file
// gives, what is typed by hand instead, what the file's limits refuse, and the diagnosis texts
// the master then uses. The GSD files are written here.
#include "dp/files/BusFiles.h"

#include <gmock/gmock.h>

#include <unistd.h>

#include <fstream>

namespace
{

using testing::HasSubstr;

// A modular station: ident 0x0A35, two modules, one parameter of one byte with texts, a
// diagnosis bit and a maker's channel error.
const char* const kPump = R"(#Profibus_DP
Vendor_Name = "Test"
Model_Name = "Pump"
Ident_Number = 0x0A35
Station_Type = 0
500_supp = 1
1.5M_supp = 1
Modular_Station = 1
Max_Module = 2
Max_Input_Len = 8
Max_Output_Len = 8
Max_Data_Len = 16
Max_User_Prm_Data_Len = 4
Unit_Diag_Bit(17) = "dry run"
Channel_Diag(17) = "seal leaks"
PrmText = 1
Text(0) = "slow"
Text(1) = "fast"
EndPrmText
ExtUserPrmData = 1 "Speed"
Unsigned8 0 0-1
Prm_Text_Ref = 1
EndExtUserPrmData
Module = "2 bytes in" 0x11
EndModule
Module = "2 bytes out" 0x21
Ext_Module_Prm_Data_Len = 1
Ext_User_Prm_Data_Ref(0) = 1
EndModule
)";

class BusFileGsd : public testing::Test
{
protected:
    void SetUp() override
    {
        m_strDir = testing::TempDir() + "busgsd-" + std::to_string(getpid()) + "/";
        ASSERT_EQ(system(("mkdir -p " + m_strDir).c_str()), 0);
        std::ofstream(m_strDir + "pump.gsd") << kPump;
    }
    void TearDown() override { (void)system(("rm -rf " + m_strDir).c_str()); }

    bool Parse(const std::string& strSlave, dp::SMasterConfig& config, std::string& strError)
    {
        return dp::ParseBusFile(R"({ "baud_rate": 1500000, "slaves": [ )" + strSlave + " ] }",
                                config, strError, m_strDir);
    }
    std::string Error(const std::string& strSlave)
    {
        dp::SMasterConfig config;
        std::string strError;
        EXPECT_FALSE(Parse(strSlave, config, strError));
        return strError;
    }

    std::string m_strDir;
};

TEST_F(BusFileGsd, ASlaveComesUpFromItsFileAlone)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(Parse(R"({ "address": 3, "gsd": "pump.gsd",
        "modules": [ "2 bytes in", "2 bytes out" ], "parameters": { "Speed": "fast" } })",
                      config, strError))
        << strError;
    ASSERT_EQ(config.slaves.size(), 1u);
    const dp::SSlaveConfig& slave = config.slaves[0];
    EXPECT_EQ(slave.wIdent, 0x0A35);
    EXPECT_EQ(slave.abyConfig, (std::vector<std::uint8_t>{0x11, 0x21}));
    EXPECT_EQ(slave.abyUserPrm, (std::vector<std::uint8_t>{0x01})) << "Speed \"fast\" is 1";
    EXPECT_EQ(slave.byInputLength, 2);
    EXPECT_EQ(slave.byOutputLength, 2);
    // Bit 17 of the device block counted from its header: bit 1 of the second byte behind it.
    ASSERT_EQ(slave.diagTexts.unitBits.count(9), 1u);
    EXPECT_EQ(slave.diagTexts.unitBits.at(9), "dry run");
    EXPECT_EQ(slave.diagTexts.channelErrors.at(17), "seal leaks");
    // Its modules by their slots: the master names them in its diagnosis words.
    EXPECT_EQ(slave.diagTexts.moduleNames, (std::vector<std::string>{"2 bytes in", "2 bytes out"}));
    dp::SSlaveDiag diag;
    const std::vector<std::uint8_t> abyDiag = {0x08, 0x04, 0x00, 0x02, 0x0A, 0x35,
                                               0x42, 0x02, 0x81, 0x80, 0x31};
    ASSERT_TRUE(dp::DecodeSlaveDiag(dp::ByteView(abyDiag.data(), abyDiag.size()), diag));
    EXPECT_EQ(dp::DiagnosisText(diag, &slave.diagTexts),
              "extended diagnosis; master 2; ident 0x0A35; modules with diagnosis: slot 2 (2 "
              "bytes out); slot 2 (2 bytes out) channel 0 (output, bit): seal leaks");
}

// An observed slave takes its configuration from its file; the file's default parameters are
// its owner's business, and parameters chosen for it are refused.
TEST_F(BusFileGsd, AnObservedSlaveTakesOnlyItsConfigurationFromItsFile)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(Parse(R"({ "address": 3, "gsd": "pump.gsd", "observe": true,
        "modules": [ "2 bytes in", "2 bytes out" ] })",
                      config, strError))
        << strError;
    ASSERT_EQ(config.slaves.size(), 1u);
    EXPECT_EQ(config.slaves[0].abyConfig, (std::vector<std::uint8_t>{0x11, 0x21}));
    EXPECT_TRUE(config.slaves[0].abyUserPrm.empty());
    EXPECT_TRUE(config.slaves[0].bObserve);
    EXPECT_THAT(Error(R"({ "address": 3, "gsd": "pump.gsd", "observe": true,
        "modules": [ "2 bytes in", "2 bytes out" ], "parameters": { "Speed": "fast" } })"),
                HasSubstr("slaves[0].parameters: an observed slave is never parametrised"));
}

TEST_F(BusFileGsd, BytesTypedByHandWinFieldByField)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(Parse(R"({ "address": 3, "gsd": "pump.gsd", "modules": [ "2 bytes in" ],
        "ident": "0x0A35", "user_prm": "00", "config": "13" })",
                      config, strError))
        << strError;
    EXPECT_EQ(config.slaves[0].abyConfig, (std::vector<std::uint8_t>{0x13}));
    EXPECT_EQ(config.slaves[0].byInputLength, 4);
    EXPECT_EQ(config.slaves[0].abyUserPrm, (std::vector<std::uint8_t>{0x00}));
    // Configuration bytes typed by hand need not be the named modules, slot by slot.
    EXPECT_TRUE(config.slaves[0].diagTexts.moduleNames.empty());
    // ...but must still fit what the file declares.
    EXPECT_THAT(Error(R"({ "address": 3, "gsd": "pump.gsd", "modules": [ "2 bytes in" ],
        "config": "1F" })"),
                HasSubstr("slaves[0].gsd: "));
}

TEST_F(BusFileGsd, TheIdentIsANumberOrAStringOfOne)
{
    dp::SMasterConfig config;
    std::string strError;
    ASSERT_TRUE(dp::ParseBusFile(R"({ "baud_rate": 19200, "slaves": [
        { "address": 3, "ident": "0x0a35", "config": "17" },
        { "address": 4, "ident": "2613", "config": "17" },
        { "address": 5, "ident": 2613, "config": "17" } ] })",
                                 config, strError))
        << strError;
    for (const dp::SSlaveConfig& slave : config.slaves)
        EXPECT_EQ(slave.wIdent, 0x0A35);
    for (const char* pszBad : {"0x10000", "65536", "0x", "012a", "-1", "0x12G4", ""})
        EXPECT_EQ(
            Error(std::string(R"({ "address": 3, "config": "17", "ident": ")") + pszBad + "\" }"),
            std::string("slaves[0].ident: \"") + pszBad +
                "\" is no ident number (0 to 65535, or 0x0000 to 0xFFFF)");
}

TEST_F(BusFileGsd, RefusalsNameTheFileAndItsLine)
{
    EXPECT_THAT(Error(R"({ "address": 3, "gsd": "missing.gsd" })"),
                HasSubstr("slaves[0].gsd: " + m_strDir + "missing.gsd: "));
    EXPECT_THAT(Error(R"({ "address": 3, "gsd": "pump.gsd", "modules": [ "nothing" ] })"),
                HasSubstr("pump.gsd"));
    EXPECT_THAT(Error(R"({ "address": 3, "gsd": "pump.gsd", "modules": [ "2 bytes out" ],
        "parameters": { "Speed": 7 } })"),
                HasSubstr("pump.gsd:"));
    EXPECT_EQ(Error(R"({ "address": 3, "ident": 1, "config": "17", "modules": [ "a" ] })"),
              "slaves[0].modules: needs \"gsd\", the slave's GSD file");
    EXPECT_EQ(Error(R"({ "address": 3, "gsd": "" })"),
              "slaves[0].gsd: must name the slave's GSD file");
    // 12 Mbit/s is not among the station's rates.
    dp::SMasterConfig config;
    std::string strError;
    EXPECT_FALSE(dp::ParseBusFile(R"({ "baud_rate": 12000000, "slaves": [
        { "address": 3, "gsd": "pump.gsd", "modules": [ "2 bytes in" ] } ] })",
                                  config, strError, m_strDir));
    EXPECT_THAT(strError, HasSubstr("pump.gsd"));
}

TEST(BusFileFolder, TheFolderOfAPath)
{
    EXPECT_EQ(dp::FolderOf("plant/bus.json"), "plant/");
    EXPECT_EQ(dp::FolderOf("/etc/movajob/dp/board1.json"), "/etc/movajob/dp/");
    EXPECT_EQ(dp::FolderOf("bus.json"), "");
}

} // namespace
