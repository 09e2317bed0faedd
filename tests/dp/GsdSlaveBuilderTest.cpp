// Slaves built from GSD stations: the configuration of the chosen modules, the user parameter
// bytes (worked out by hand below, field by field), and every check against what the file
// declares, each refusal naming file and line.
#include "dp/gsd/GsdSlaveBuilder.h"
#include "dp/gsd/GsdReader.h"

#include <gtest/gtest.h>

namespace
{

using Bytes = std::vector<std::uint8_t>;

// A modular analog station. Its user parameter data: the station's byte (constant 0x80, Alarm
// in bit 0), then each module's bytes in slot order.
const char* const kModular = R"(#Profibus_DP
Vendor_Name = "Test"
Model_Name = "AIO"
Ident_Number = 0x0A35
Modular_Station = 1
Max_Module = 3
Max_Input_Len = 16
Max_Output_Len = 8
Max_Data_Len = 17
Max_User_Prm_Data_Len = 12
1.5M_supp = 1
12M_supp = 0
PrmText = 1
Text(0) = "4-20 mA"
Text(1) = "0-20 mA"
Text(2) = "0-10 V"
EndPrmText
ExtUserPrmData = 1 "Range"
BitArea(4-6) 0 0-2
Prm_Text_Ref = 1
EndExtUserPrmData
ExtUserPrmData = 2 "Alarm"
Bit(0) 1 0-1
EndExtUserPrmData
ExtUserPrmData = 3 "Limit"
Unsigned16 1000 0-4000
EndExtUserPrmData
ExtUserPrmData = 4 "Offset"
Signed8 -2 -10-10
EndExtUserPrmData
ExtUserPrmData = 5 "Filter"
Unsigned8 2 1,2,4,8
EndExtUserPrmData
ExtUserPrmData = 6 "Count"
Unsigned32 0x12345678
EndExtUserPrmData
ExtUserPrmData = 7 "Trim"
Signed32 -1
EndExtUserPrmData
ExtUserPrmData = 8 "Tag"
OctetString 4
EndExtUserPrmData
Ext_User_Prm_Data_Const(0) = 0x80
Ext_User_Prm_Data_Ref(0) = 2
Module = "2 AI" 0x51
Ext_Module_Prm_Data_Len = 4
Ext_User_Prm_Data_Const(0) = 0x0F
Ext_User_Prm_Data_Ref(0) = 1
Ext_User_Prm_Data_Ref(1) = 3
Ext_User_Prm_Data_Ref(3) = 4
EndModule
Module = "8 DO" 0x20
Ext_Module_Prm_Data_Len = 1
Ext_User_Prm_Data_Ref(0) = 5
EndModule
Module = "8 DI" 0x10
EndModule
Module = "Big" 0x1F
EndModule
Module = "Counter" 0x10
Ext_User_Prm_Data_Ref(0) = 6
Ext_User_Prm_Data_Ref(4) = 7
EndModule
Module = "Tagged" 0x10
Ext_User_Prm_Data_Ref(0) = 8
EndModule
Module = "Broken" 0x43
EndModule
)";

dp::SGsdStation Read(const std::string& strText)
{
    dp::SGsdStation station;
    std::string strError;
    dp::CGsdReader reader;
    EXPECT_TRUE(reader.Read(strText, "t.gsd", station, strError)) << strError;
    return station;
}

dp::SGsdSlaveData BuildOk(const dp::SGsdStation& station, const dp::SGsdSelection& selection)
{
    dp::SGsdSlaveData data;
    std::string strError;
    dp::CGsdSlaveBuilder builder(station);
    EXPECT_TRUE(builder.Build(selection, data, strError)) << strError;
    return data;
}

std::string BuildError(const dp::SGsdStation& station, const dp::SGsdSelection& selection)
{
    dp::SGsdSlaveData data;
    std::string strError;
    dp::CGsdSlaveBuilder builder(station);
    EXPECT_FALSE(builder.Build(selection, data, strError));
    return strError;
}

dp::SGsdSelection Modules(std::vector<std::string> modules,
                          std::vector<dp::SGsdParameterValue> values = {})
{
    dp::SGsdSelection selection;
    selection.modules = std::move(modules);
    selection.values = std::move(values);
    return selection;
}

TEST(GsdSlaveBuilder, ModularStationWithDefaults)
{
    const dp::SGsdStation station = Read(kModular);
    const dp::SGsdSlaveData data = BuildOk(station, Modules({"2 AI", "8 DO"}));
    EXPECT_EQ(data.wIdent, 0x0A35);
    EXPECT_EQ(data.abyConfig, (Bytes{0x51, 0x20}));
    EXPECT_EQ(data.byInputLength, 4);
    EXPECT_EQ(data.byOutputLength, 1);
    // 81: 0x80 with Alarm (bit 0) 1; 0F: Range (bits 4-6) 0 over the constant 0x0F;
    // 03 E8: Limit 1000 high byte first; FE: Offset -2; 02: Filter 2.
    EXPECT_EQ(data.abyUserPrm, (Bytes{0x81, 0x0F, 0x03, 0xE8, 0xFE, 0x02}));
}

TEST(GsdSlaveBuilder, NamedValuesAsNumbersAndTexts)
{
    const dp::SGsdStation station = Read(kModular);
    const dp::SGsdSlaveData data = BuildOk(
        station, Modules({"2 AI", "8 DO"}, {{"range", "0-10 V"}, // a text, any case of the name
                                            {"Alarm", "0"},
                                            {"Limit", "0xFA0"},
                                            {"Offset", "-10"},
                                            {"Filter", "8"}}));
    // 80: Alarm 0; 2F: Range 2 in bits 4-6 over 0x0F; 0F A0: 4000; F6: -10; 08.
    EXPECT_EQ(data.abyUserPrm, (Bytes{0x80, 0x2F, 0x0F, 0xA0, 0xF6, 0x08}));

    const dp::SGsdSlaveData wide =
        BuildOk(station, Modules({"Counter"}, {{"Trim", "-2"}, {"Count", "4294967295"}}));
    EXPECT_EQ(wide.abyUserPrm, (Bytes{0x81, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
    const dp::SGsdSlaveData defaults = BuildOk(station, Modules({"Counter"}));
    EXPECT_EQ(defaults.abyUserPrm, (Bytes{0x81, 0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF, 0xFF, 0xFF}));

    // A parameter that two slots use takes the value in both.
    const dp::SGsdSlaveData twice = BuildOk(station, Modules({"8 DO", "8 DO"}, {{"Filter", "4"}}));
    EXPECT_EQ(twice.abyUserPrm, (Bytes{0x81, 0x04, 0x04}));
}

TEST(GsdSlaveBuilder, ValuesOutsideWhatTheFileAllowsAreRefused)
{
    const dp::SGsdStation station = Read(kModular);
    EXPECT_EQ(BuildError(station, Modules({"2 AI"}, {{"Limit", "4001"}})),
              "t.gsd:25: \"Limit\": 4001 is not among the allowed 0-4000");
    EXPECT_EQ(BuildError(station, Modules({"8 DO"}, {{"Filter", "3"}})),
              "t.gsd:31: \"Filter\": 3 is not among the allowed 1, 2, 4, 8");
    EXPECT_EQ(BuildError(station, Modules({"2 AI"}, {{"Range", "5 V"}})),
              "t.gsd:18: \"Range\": \"5 V\" is not a number nor one of the parameter's texts");
    EXPECT_EQ(BuildError(station, Modules({"2 AI"}, {{"Offset", "ten"}})),
              "t.gsd:28: \"Offset\": \"ten\" is not a number");
    EXPECT_EQ(BuildError(station, Modules({"8 DI"}, {{"Filter", "2"}})),
              "t.gsd: no parameter \"Filter\" among those of the station and its chosen modules "
              "(or it is given twice)");
    EXPECT_EQ(BuildError(station, Modules({"Tagged"})),
              "t.gsd:65: Ext_User_Prm_Data_Ref(0) names 8 \"Tag\" of type OctetString, which this "
              "reader cannot place; type user_prm by hand");
}

TEST(GsdSlaveBuilder, ModulesAndLengthsAgainstTheDeclaredLimits)
{
    const dp::SGsdStation station = Read(kModular);
    EXPECT_EQ(BuildError(station, Modules({"8 DI", "8 DI", "8 DI", "8 DI"})),
              "t.gsd:6: 4 modules, more than Max_Module 3");
    EXPECT_EQ(BuildError(station, Modules({"Big", "8 DI"})),
              "t.gsd:7: 17 input bytes, more than Max_Input_Len 16");
    EXPECT_EQ(BuildError(station, Modules({"Big", "8 DO", "8 DO"})),
              "t.gsd:9: 18 input and output bytes together, more than Max_Data_Len 17");
    EXPECT_EQ(BuildError(station, Modules({"2 AI", "2 AI", "2 AI"})),
              "t.gsd:10: 13 bytes of user parameter data, more than Max_User_Prm_Data_Len 12");
    EXPECT_EQ(BuildError(station, Modules({"9 DI"})), "t.gsd: no module \"9 DI\"");
    EXPECT_EQ(BuildError(station, Modules({})),
              "t.gsd:5: a modular station needs its modules, in slot order");
    EXPECT_EQ(BuildError(station, Modules({"Broken"})),
              "t.gsd:67: module \"Broken\": configuration byte 0: special identifier runs past "
              "the end");
    EXPECT_EQ(BuildOk(station, Modules({"big"})).byInputLength, 16); // names without case
}

TEST(GsdSlaveBuilder, BaudRates)
{
    const dp::SGsdStation station = Read(kModular);
    dp::SGsdSelection selection = Modules({"8 DI"});
    selection.dwBaudRate = 1500000;
    BuildOk(station, selection);
    selection.dwBaudRate = 12000000;
    EXPECT_EQ(BuildError(station, selection),
              "t.gsd:12: the station does not support 12000000 bit/s (12M_supp = 0)");
    selection.dwBaudRate = 500000;
    EXPECT_EQ(BuildError(station, selection),
              "t.gsd: the station does not support 500000 bit/s (500_supp is not given)");
    selection.dwBaudRate = 115200;
    EXPECT_EQ(BuildError(station, selection),
              "t.gsd: 115200 bit/s is not a DP baud rate a GSD file declares");
}

TEST(GsdSlaveBuilder, CompactStations)
{
    const dp::SGsdStation one = Read("Ident_Number = 7\n"
                                     "User_Prm_Data_Len = 4\n"
                                     "User_Prm_Data = 0x11,0x22\n"
                                     "Module = \"8 in 8 out\" 0x17, 0x27\n"
                                     "EndModule\n");
    const dp::SGsdSlaveData data = BuildOk(one, {});
    EXPECT_EQ(data.wIdent, 7);
    EXPECT_EQ(data.abyConfig, (Bytes{0x17, 0x27}));
    EXPECT_EQ(data.abyUserPrm, (Bytes{0x11, 0x22, 0x00, 0x00})); // padded to the declared length
    EXPECT_EQ(data.byInputLength, 8);
    EXPECT_EQ(data.byOutputLength, 8);

    const dp::SGsdStation choice = Read("Ident_Number = 7\n"
                                        "Module = \"short\" 0x10\nEndModule\n"
                                        "Module = \"long\" 0x11\nEndModule\n");
    EXPECT_EQ(BuildError(choice, {}),
              "t.gsd: the file offers 2 configurations (Module lines): choose one");
    EXPECT_EQ(BuildOk(choice, Modules({"long"})).abyConfig, (Bytes{0x11}));
    EXPECT_EQ(BuildError(choice, Modules({"short", "long"})),
              "t.gsd: a compact station takes one module, not 2");
    EXPECT_EQ(BuildError(Read("Ident_Number = 7\n"), {}),
              "t.gsd: the file gives no Module with the station's configuration");
    EXPECT_EQ(BuildError(Read("Ident_Number = 7\n"), Modules({"m"})), "t.gsd: no module \"m\"");
    EXPECT_EQ(BuildError(Read("Module = \"m\" 0x10\nEndModule\n"), {}),
              "t.gsd: the file gives no Ident_Number");
    EXPECT_EQ(BuildError(Read("Ident_Number = 7\nStation_Type = 1\n"), {}),
              "t.gsd:2: Station_Type 1: not a DP slave");
}

TEST(GsdSlaveBuilder, DpV1StatusBytesAsTheConstantsGiveThem)
{
    // Without constants the three status bytes are zero and the modules' bytes follow them.
    const dp::SGsdStation bare = Read("Ident_Number = 7\nDPV1_Slave = 1\nModular_Station = 1\n"
                                      "ExtUserPrmData = 1 \"p\"\nUnsigned8 9\nEndExtUserPrmData\n"
                                      "Module = \"m\" 0x10\nExt_User_Prm_Data_Ref(0) = 1\n"
                                      "EndModule\n");
    EXPECT_EQ(BuildOk(bare, Modules({"m"})).abyUserPrm, (Bytes{0x00, 0x00, 0x00, 0x09}));
    const dp::SGsdStation given = Read("Ident_Number = 7\nDPV1_Slave = 1\n"
                                       "Ext_User_Prm_Data_Const(0) = 0x04,0x00,0x08,0x55\n"
                                       "Module = \"m\" 0x10\nEndModule\n");
    EXPECT_EQ(BuildOk(given, {}).abyUserPrm, (Bytes{0x04, 0x00, 0x08, 0x55}));
}

TEST(GsdSlaveBuilder, FieldsTypedByHandAreCheckedToo)
{
    // A bus file may replace any field of what the file gives; Check() holds the result to
    // the file's limits all the same.
    const dp::SGsdStation station = Read(kModular);
    dp::SGsdSlaveData data = BuildOk(station, Modules({"8 DI"}));
    dp::CGsdSlaveBuilder builder(station);
    std::string strError;
    data.abyUserPrm = Bytes(12, 0xAA);
    EXPECT_TRUE(builder.Check(data, 1500000, strError)) << strError;
    data.abyUserPrm.push_back(0xAA);
    EXPECT_FALSE(builder.Check(data, 0, strError));
    EXPECT_EQ(strError,
              "t.gsd:10: 13 bytes of user parameter data, more than Max_User_Prm_Data_Len 12");
    data.abyUserPrm.clear();
    data.byOutputLength = 9;
    EXPECT_FALSE(builder.Check(data, 0, strError));
    EXPECT_EQ(strError, "t.gsd:8: 9 output bytes, more than Max_Output_Len 8");
}

} // namespace
