// The GSD reader: the text's form (comments, joined lines, case, line ends, ISO-8859-1), each
// block, and refusals that name file and line. The files here are written from the public
// description of the format.
#include "dp/gsd/GsdReader.h"
#include "dp/services/DiagnosisText.h"

#include <gtest/gtest.h>

namespace
{

dp::SGsdStation ReadOk(const std::string& strText)
{
    dp::SGsdStation station;
    std::string strError;
    dp::CGsdReader reader;
    EXPECT_TRUE(reader.Read(strText, "t.gsd", station, strError)) << strError;
    return station;
}

std::string ReadError(const std::string& strText)
{
    dp::SGsdStation station;
    std::string strError;
    dp::CGsdReader reader;
    EXPECT_FALSE(reader.Read(strText, "pump.gsd", station, strError));
    return strError;
}

TEST(GsdReader, TextFormCommentsJoinedLinesCaseAndLineEnds)
{
    // CR LF line ends, a ';' inside a string, keywords in any case, a byte list continued over
    // three lines, blanks around '=' or none, hex in either case.
    const dp::SGsdStation station =
        ReadOk("#Profibus_DP\r\n"
               "; a comment line\r\n"
               "vendor_name = \"Pumps; and more\" ; the vendor\r\n"
               "MODEL_NAME=\"P\xE4mp 3\"\r\n"
               "Ident_Number = 0X0a35\r\n"
               "User_Prm_Data_Len = 5\r\n"
               "User_Prm_Data = 0x01, 0x02, \\\r\n"
               "   0x03, \\  ; a comment after the continuation mark ends nothing\r\n"
               "   4\r\n"
               "1.5m_SUPP = 1\r\n");
    EXPECT_EQ(station.strVendor, "Pumps; and more");
    EXPECT_EQ(station.strModel, "P\xC3\xA4mp 3"); // ISO-8859-1 becomes UTF-8
    EXPECT_EQ(station.identNumber.nValue, 0x0A35);
    EXPECT_EQ(station.identNumber.nLine, 5u);
    EXPECT_EQ(station.abyUserPrmData, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(station.nUserPrmDataLine, 7u);   // the joined line's first line
    EXPECT_EQ(station.prm.nLength, 5u);        // User_Prm_Data_Len pads the older form
    EXPECT_EQ(station.baudRates[7].nValue, 1); // 1.5M_supp
    EXPECT_EQ(station.nSkippedLines, 0u);
}

TEST(GsdReader, UnknownKeywordsAreSkippedAndCounted)
{
    const dp::SGsdStation station = ReadOk("GSD_Revision = 3\n"
                                           "Info_Text = \"x\"\n"
                                           "INFO_TEXT = \"y\"\n"
                                           "Ident_Number = 1\n"
                                           "Module = \"m\" 0x10\n"
                                           "Info_Text = \"in a module\"\n"
                                           "Data_Area_Beg\n"
                                           "EndModule\n"
                                           "Some_Future_Key(3) = 1, 2\n");
    EXPECT_EQ(station.nSkippedLines, 6u);
    EXPECT_EQ(station.skippedKeywords.at("Info_Text"), 3u); // counted under its first spelling
    EXPECT_EQ(station.skippedKeywords.at("Data_Area_Beg"), 1u);
    EXPECT_EQ(station.skippedKeywords.at("Some_Future_Key"), 1u);
    EXPECT_EQ(station.modules.size(), 1u);
}

TEST(GsdReader, ModulesWithTheirBytesReferencesAndParameterEntries)
{
    const dp::SGsdStation station = ReadOk("Modular_Station = 1\n"
                                           "ExtUserPrmData = 4 \"Range\"\n"
                                           "Unsigned16 10 0-1000\n"
                                           "EndExtUserPrmData\n"
                                           "Module = \"4 AI\" 0x43, 0x53 \\\n"
                                           "  ,0x00\n"
                                           "  12\n"
                                           "Ext_Module_Prm_Data_Len = 4\n"
                                           "Ext_User_Prm_Data_Const(0) = 0x80\n"
                                           "Ext_User_Prm_Data_Ref(1) = 4\n"
                                           "EndModule\n"
                                           "module = \"8 DI\" 0x10\n"
                                           "endmodule\n");
    ASSERT_EQ(station.modules.size(), 2u);
    const dp::SGsdModule& ai = station.modules[0];
    EXPECT_EQ(ai.strName, "4 AI");
    EXPECT_EQ(ai.nLine, 5u);
    EXPECT_EQ(ai.abyConfig, (std::vector<std::uint8_t>{0x43, 0x53, 0x00}));
    EXPECT_TRUE(ai.bHasReference);
    EXPECT_EQ(ai.dwReference, 12u);
    EXPECT_EQ(ai.prm.nLength, 4u); // declared, though the entries end at byte 2
    ASSERT_EQ(ai.prm.consts.size(), 1u);
    ASSERT_EQ(ai.prm.refs.size(), 1u);
    EXPECT_EQ(ai.prm.refs[0].nOffset, 1u);
    EXPECT_EQ(ai.prm.refs[0].dwPrmId, 4u);
    EXPECT_FALSE(station.modules[1].bHasReference);
    EXPECT_EQ(station.modules[1].prm.nLength, 0u);
}

TEST(GsdReader, EachParameterFormWithItsTexts)
{
    const dp::SGsdStation station = ReadOk("PrmText = 7\n"
                                           "Text(0) = \"off\"\n"
                                           "Text(1) = \"on\"\n"
                                           "EndPrmText\n"
                                           "ExtUserPrmData = 1 \"Enable\"\n"
                                           "Bit(5) 1 0-1\n"
                                           "Prm_Text_Ref = 7\n"
                                           "Changeable = 1\n"
                                           "EndExtUserPrmData\n"
                                           "ExtUserPrmData = 2 \"Filter\"\n"
                                           "BitArea(2-4) 3 0,1,3,7\n"
                                           "EndExtUserPrmData\n"
                                           "ExtUserPrmData = 3 \"Offset\"\n"
                                           "Signed16 -5 -100--1\n"
                                           "EndExtUserPrmData\n"
                                           "ExtUserPrmData = 4 \"Limit\"\n"
                                           "Unsigned32 0x10000\n"
                                           "EndExtUserPrmData\n"
                                           "ExtUserPrmData = 5 \"Name\"\n"
                                           "OctetString 8\n"
                                           "EndExtUserPrmData\n");
    const dp::SGsdUserPrm& enable = station.userPrms.at(1);
    EXPECT_EQ(enable.eType, dp::teGsdDataType::Bit);
    EXPECT_EQ(enable.byFirstBit, 5);
    EXPECT_EQ(enable.byLastBit, 5);
    EXPECT_EQ(enable.nDefault, 1);
    EXPECT_EQ(enable.dwTextRef, 7u);
    EXPECT_EQ(station.prmTexts.at(7).texts.size(), 2u);
    EXPECT_EQ(station.prmTexts.at(7).texts[1].second, "on");

    const dp::SGsdUserPrm& filter = station.userPrms.at(2);
    EXPECT_EQ(filter.eType, dp::teGsdDataType::BitArea);
    EXPECT_EQ(filter.byFirstBit, 2);
    EXPECT_EQ(filter.byLastBit, 4);
    EXPECT_TRUE(filter.bList);
    EXPECT_EQ(filter.anAllowed, (std::vector<std::int64_t>{0, 1, 3, 7}));

    const dp::SGsdUserPrm& offset = station.userPrms.at(3);
    EXPECT_EQ(offset.eType, dp::teGsdDataType::Signed16);
    EXPECT_EQ(offset.nDefault, -5);
    EXPECT_FALSE(offset.bList);
    EXPECT_EQ(offset.nMin, -100);
    EXPECT_EQ(offset.nMax, -1);

    const dp::SGsdUserPrm& limit = station.userPrms.at(4); // no range: the type's own
    EXPECT_EQ(limit.nDefault, 0x10000);
    EXPECT_EQ(limit.nMin, 0);
    EXPECT_EQ(limit.nMax, 0xFFFFFFFF);

    EXPECT_EQ(station.userPrms.at(5).eType, dp::teGsdDataType::Unread);
    EXPECT_EQ(station.userPrms.at(5).strTypeName, "OctetString");
    EXPECT_EQ(station.skippedKeywords.at("Changeable"), 1u);
    EXPECT_EQ(station.skippedKeywords.at("OctetString"), 1u);
}

TEST(GsdReader, DiagnosisTexts)
{
    const dp::SGsdStation station = ReadOk("Unit_Diag_Bit(16) = \"Overtemperature\"\n"
                                           "Unit_Diag_Area = 24-26\n"
                                           "Value(0) = \"ok\"\n"
                                           "Value(7) = \"broken\"\n"
                                           "Unit_Diag_Area_End\n"
                                           "Channel_Diag(16) = \"Pump dry\"\n");
    EXPECT_EQ(station.unitDiagBits.at(16), "Overtemperature");
    ASSERT_EQ(station.unitDiagAreas.size(), 1u);
    EXPECT_EQ(station.unitDiagAreas[0].dwFirstBit, 24u);
    EXPECT_EQ(station.unitDiagAreas[0].dwLastBit, 26u);
    EXPECT_EQ(station.unitDiagAreas[0].values.at(7), "broken");
    EXPECT_EQ(station.channelDiag.at(16), "Pump dry");
}

TEST(GsdReader, DiagnosisAreasAreLimitedAndNeverDeclaredTwice)
{
    // Every diagnosis is put into words with the areas: the most a station may declare are
    // taken, one more is refused where it stands.
    std::string strAreas;
    for (std::size_t i = 0; i < dp::kMaxUnitDiagAreas; ++i)
        strAreas += "Unit_Diag_Area = " + std::to_string(8 + i) + "-" + std::to_string(9 + i) +
                    "\nUnit_Diag_Area_End\n";
    EXPECT_EQ(ReadOk(strAreas).unitDiagAreas.size(), dp::kMaxUnitDiagAreas);
    EXPECT_EQ(ReadError(strAreas + "Unit_Diag_Area = 0-1\nUnit_Diag_Area_End\n"),
              "pump.gsd:" + std::to_string(2 * dp::kMaxUnitDiagAreas + 1) +
                  ": Unit_Diag_Area: more than " + std::to_string(dp::kMaxUnitDiagAreas) +
                  " areas, the most a station may declare");

    // The same bits twice, even with other texts: which texts hold is not known.
    EXPECT_EQ(ReadError("Unit_Diag_Area = 8-9\nValue(0) = \"ok\"\nUnit_Diag_Area_End\n"
                        "Unit_Diag_Area = 8-10\nUnit_Diag_Area_End\n"
                        "Unit_Diag_Area = 8-9\nValue(0) = \"fine\"\nUnit_Diag_Area_End\n"),
              "pump.gsd:6: Unit_Diag_Area: bits 8-9 are declared already at line 1");
}

TEST(GsdReader, BrokenFilesNameFileAndLine)
{
    const std::string strPrm = "ExtUserPrmData = 5 \"Speed\"\nUnsigned8 1 0-3\nEndExtUserPrmData\n";
    struct SCase
    {
        std::string strText;
        std::string strError;
    };
    const SCase cases[] = {
        {strPrm + "Module = \"m\" 0x10\nExt_User_Prm_Data_Ref(3) = 17\nEndModule\n",
         "pump.gsd:5: Ext_User_Prm_Data_Ref(3) names 17, which no ExtUserPrmData defines"},
        {"Ident_Number = 1\nIdent_Number = 2\n",
         "pump.gsd:2: Ident_Number is given again (first at line 1)"},
        {"Ident_Number = 0x10000\n",
         "pump.gsd:1: Ident_Number: value 65536 is not from 0 to 65535"},
        {"Ident_Number = 12ab\n", "pump.gsd:1: Ident_Number: expected a number, found '12ab'"},
        {"Vendor_Name = \"open\n", "pump.gsd:1: a string without its closing '\"'"},
        {"Module = \"m\" 0x10\nModule = \"n\" 0x20\n",
         "pump.gsd:2: Module inside the Module of line 1: EndModule is missing"},
        {"\n\nModule = \"m\" 0x10\n", "pump.gsd:3: Module without EndModule"},
        {"EndModule\n", "pump.gsd:1: EndModule without its opening keyword"},
        {"Module = \"m\"\nEndModule\n",
         "pump.gsd:1: Module: expected a number, found the line's end"},
        {"Module = \"m\" 0x100\nEndModule\n", "pump.gsd:1: Module: byte 256 is not from 0 to 255"},
        {"ExtUserPrmData = 1 \"x\"\nEndExtUserPrmData\n",
         "pump.gsd:1: ExtUserPrmData 1 \"x\" has no data type line"},
        {"ExtUserPrmData = 1 \"x\"\nUnsigned8 9 0-3\nEndExtUserPrmData\n",
         "pump.gsd:2: ExtUserPrmData 1 \"x\": default 9 is not among 0-3"},
        {"ExtUserPrmData = 1 \"x\"\nUnsigned8 1 0-300\nEndExtUserPrmData\n",
         "pump.gsd:2: ExtUserPrmData 1 \"x\": allowed values 0-300 do not fit Unsigned8 (0-255)"},
        {"ExtUserPrmData = 1 \"x\"\nBit(8) 0 0-1\nEndExtUserPrmData\n",
         "pump.gsd:2: ExtUserPrmData 1 \"x\": Bit: bit 8 is not from 0 to 7"},
        {"ExtUserPrmData = 1 \"x\"\nBitArea(5-2) 0 0-1\nEndExtUserPrmData\n",
         "pump.gsd:2: ExtUserPrmData 1 \"x\": BitArea(5-2) must name its first and last bit, 0 "
         "to 7: last bit 2 is not from 5 to 7"},
        {"ExtUserPrmData = 1 \"x\"\nUnsigned8 0 3-1\nEndExtUserPrmData\n",
         "pump.gsd:2: ExtUserPrmData 1 \"x\": allowed values: range 3-1 ends below its start"},
        {strPrm + strPrm, "pump.gsd:4: ExtUserPrmData: 5 is defined already at line 1"},
        {"ExtUserPrmData = 1 \"x\"\nUnsigned8 0\nPrm_Text_Ref = 3\nEndExtUserPrmData\n",
         "pump.gsd:3: Prm_Text_Ref names 3, which no PrmText defines"},
        {"Ext_User_Prm_Data_Const(237) = 0\n",
         "pump.gsd:1: Ext_User_Prm_Data_Const(237): offset 237 is not from 0 to 236 (a Set_Prm "
         "carries 237 bytes of user parameters)"},
        {"Ext_User_Prm_Data_Const(230) = 1,2,3,4,5,6,7,8\n",
         "pump.gsd:1: Ext_User_Prm_Data_Const(230): reaches beyond the 237 bytes of user "
         "parameters a Set_Prm carries"},
        {strPrm + "User_Prm_Data_Len = 2\nExt_User_Prm_Data_Ref(2) = 5\n",
         "pump.gsd:5: Ext_User_Prm_Data_Ref(2) reaches byte 2, beyond User_Prm_Data_Len 2 (line "
         "4)"},
        {strPrm + "Module = \"m\" 0x10\nExt_Module_Prm_Data_Len = 1\n"
                  "Ext_User_Prm_Data_Const(0) = 1,2\nEndModule\n",
         "pump.gsd:6: Ext_User_Prm_Data_Const(0) reaches byte 1, beyond Ext_Module_Prm_Data_Len "
         "1 (line 5)"},
        {"User_Prm_Data_Len = 1\nUser_Prm_Data = 1,2\n",
         "pump.gsd:2: User_Prm_Data has 2 bytes, more than User_Prm_Data_Len 1 (line 1)"},
        {"Unit_Diag_Bit(3) \"no equals\"\n",
         "pump.gsd:1: Unit_Diag_Bit(3): expected Unit_Diag_Bit(n) = \"text\""},
        {"Unit_Diag_Area = 8-9\nValue(4) = \"two bits hold 0-3\"\nUnit_Diag_Area_End\n",
         "pump.gsd:2: Value(4): number 4 is not from 0 to 3"},
        {"PrmText = 1\nText(x) = \"a\"\nEndPrmText\n",
         "pump.gsd:2: Text(x): expected a number, found 'x'"},
        {"Channel_Diag(1 = \"a\"\n", "pump.gsd:1: '(' after Channel_Diag without ')'"},
        {"Modular_Station = 2\n", "pump.gsd:1: Modular_Station: value 2 is not from 0 to 1"},
        {"Max_Module = 99999999999999999999\n",
         "pump.gsd:1: Max_Module: number '99999999999999999999' is too large"},
        {"Model_Name = \"a\" \"b\"\n", "pump.gsd:1: Model_Name: unexpected '\"b\"'"},
        {std::string("Vendor_Name = \"a\"\n\nIdent\0_Number = 1\n", 37),
         "pump.gsd:3: a NUL byte: this is not a text file"},
        {"Vendor_Name = \"a\x07\"\n", "pump.gsd:1: control character 7: this is not a text file"},
    };
    for (const SCase& test : cases)
        EXPECT_EQ(ReadError(test.strText), test.strError) << test.strText;
}

TEST(GsdReader, LineNumbersCountEveryKindOfLineEnd)
{
    // LF, CR LF and a lone CR each end one line; joined lines count as the lines they were.
    EXPECT_EQ(ReadError("a = 1\nb = 2\r\nc = 3\rUser_Prm_Data = 1, \\\n2\nEndModule\n"),
              "pump.gsd:6: EndModule without its opening keyword");
}

} // namespace
