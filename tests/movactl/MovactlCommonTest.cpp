// movactl's notation, result words, values and tables, without library or board.
#include "include/MovaRecords.h"
#include "tools/common/Numbers.h"
#include "tools/movactl/ResultWords.h"
#include "tools/movactl/TextTable.h"
#include "tools/movactl/ValueText.h"
#include "tools/movactl/Variable.h"
#include "tools/movactl/WatchdogRhythm.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using testing::AllOf;
using testing::HasSubstr;

namespace
{

using namespace movactl;
using namespace tools;
using TBytes = std::vector<std::uint8_t>;

SVariable Read(const std::string& strText)
{
    SVariable variable;
    std::string strError;
    EXPECT_TRUE(ParseReadVariable(strText, variable, strError)) << strText << ": " << strError;
    return variable;
}

SVariable Write(const std::string& strText)
{
    SVariable variable;
    std::string strError;
    EXPECT_TRUE(ParseWriteVariable(strText, variable, strError)) << strText << ": " << strError;
    return variable;
}

std::string WriteError(const std::string& strText)
{
    SVariable variable;
    std::string strError;
    EXPECT_FALSE(ParseWriteVariable(strText, variable, strError)) << strText;
    return strError;
}

TEST(MovactlCommonTest, ReadVariables_FieldsOfTheRecord)
{
    SVariable bit = Read("4:2.13:1:out");
    EXPECT_EQ(4, bit.byAddress);
    EXPECT_EQ(2, +bit.wByteOffset);
    EXPECT_EQ(13, +bit.wBitOffset);
    EXPECT_EQ(1, +bit.wBitLength);
    EXPECT_TRUE(bit.bOutputs);
    EXPECT_FALSE(+bit.bSwap);

    // Hex everywhere, modifiers in any order.
    SVariable word = Read("0x05:0x10:32:out:swap");
    EXPECT_EQ(5, word.byAddress);
    EXPECT_EQ(16, +word.wByteOffset);
    EXPECT_EQ(32, +word.wBitLength);
    EXPECT_TRUE(word.bOutputs && +word.bSwap);

    EXPECT_EQ(2040, Read("3:0:2040").wBitLength);
    EXPECT_EQ(65535, Read("3:65535:8").wByteOffset);
    SVariable variable;
    std::string strError;
    EXPECT_FALSE(ParseReadVariable("3:0:2041", variable, strError));
    EXPECT_FALSE(ParseReadVariable("3:65536:8", variable, strError));
    EXPECT_FALSE(ParseReadVariable("126:0:8", variable, strError));
    EXPECT_FALSE(ParseReadVariable("3:0:8:out:out", variable, strError));
    EXPECT_THAT(strError, HasSubstr("':out' is given twice"));
}

TEST(MovactlCommonTest, WriteVariables_ValueBufferInHostOrder)
{
    EXPECT_EQ(Write("3:0:16=0x1234:swap").abyValue, (TBytes{0x34, 0x12}));
    SVariable swapFirst = Write("3:0:16:swap=4660");
    EXPECT_TRUE(+swapFirst.bSwap);
    EXPECT_EQ(swapFirst.abyValue, (TBytes{0x34, 0x12}));
    // A bit travels as a 16-bit word.
    EXPECT_EQ(Write("3:1.9:1=1").abyValue, (TBytes{1, 0}));
    EXPECT_EQ(Write("3:0:12=0xFFF").abyValue, (TBytes{0xFF, 0x0F}));
    EXPECT_EQ(Write("3:0:64=18446744073709551615").abyValue, TBytes(8, 0xFF));
    // Longer runs are bytes in image order.
    EXPECT_EQ(Write("5:0:72=0x0102030405060708fF").abyValue,
              (TBytes{1, 2, 3, 4, 5, 6, 7, 8, 0xFF}));
}

TEST(MovactlCommonTest, WriteVariables_ValuesThatDoNotFitAreRefused)
{
    // Beyond one bit the library writes whole bytes: 12 bits are the 16 of two bytes.
    EXPECT_THAT(WriteError("3:0:12=0x10000"), HasSubstr("type u16 (0 to 65535)"));
    EXPECT_THAT(WriteError("3:0:20=0x1000000"), HasSubstr("type 24-bit unsigned (0 to 16777215)"));
    EXPECT_THAT(WriteError("3:0:64=18446744073709551616"), HasSubstr("is not a value of type u64"));
    EXPECT_THAT(WriteError("3:0:8=-1"), HasSubstr("is not a value of type u8 (0 to 255)"));
    EXPECT_THAT(WriteError("3:0:8=0x"), HasSubstr("is not a value of type u8"));
    EXPECT_THAT(WriteError("3:0:8= 1"), HasSubstr("is not a value of type u8"));
    EXPECT_THAT(WriteError("3:0.1:1=2"), HasSubstr("is not a value of type bit (0 to 1)"));
    EXPECT_THAT(WriteError("5:0:72=0x01020304050607080"), HasSubstr("0x and 18 hex digits"));
    EXPECT_THAT(WriteError("5:0:72=0x0102030405060708GG"), HasSubstr("0x and 18 hex digits"));
    EXPECT_THAT(WriteError("3:0:16=1:swap:swap"), HasSubstr("given twice"));
}

TEST(MovactlCommonTest, TypedVariables_TheTypeBringsItsBits)
{
    SVariable word = Read("3:2:I16:swap:out");
    EXPECT_EQ(teValueType::Signed, word.eType);
    EXPECT_EQ(16, +word.wBitLength);
    EXPECT_TRUE(+word.bSwap && word.bOutputs);
    EXPECT_EQ(teValueType::Float, Read("3:0:f64:swap").eType);
    EXPECT_EQ(32, +Read("3:0:f32").wBitLength);
    EXPECT_EQ(teValueType::Unsigned, Read("3:0:u8").eType);
    SVariable variable;
    std::string strError;
    EXPECT_FALSE(ParseReadVariable("3:0:i8:swap", variable, strError));
    EXPECT_THAT(strError, HasSubstr("':swap' works on 16, 32 and 64 bits only"));
    EXPECT_FALSE(ParseReadVariable("3:0.3:i8", variable, strError));
    EXPECT_THAT(strError, HasSubstr("goes with 1 bit only"));
    for (const char* pszNoType : {"3:0:f16", "3:0:f8", "3:0:i24", "3:0:s16", "3:0:i", "3:0:-8"})
    {
        EXPECT_FALSE(ParseReadVariable(pszNoType, variable, strError)) << pszNoType;
        EXPECT_THAT(strError, HasSubstr("neither a number of bits nor a type")) << pszNoType;
    }
}

TEST(MovactlCommonTest, TypedValues_TwosComplementAndIeee754InHostOrder)
{
    EXPECT_EQ(Write("3:0:i8=-128").abyValue, (TBytes{0x80}));
    EXPECT_EQ(Write("3:0:i8=+127").abyValue, (TBytes{0x7F}));
    EXPECT_EQ(Write("3:0:i16=-100").abyValue, (TBytes{0x9C, 0xFF}));
    EXPECT_EQ(Write("3:0:i16=0xFFFF").abyValue, (TBytes{0xFF, 0xFF})); // the bit pattern
    EXPECT_EQ(Write("3:0:i16=-0x10").abyValue, (TBytes{0xF0, 0xFF}));
    EXPECT_EQ(Write("3:0:i64=-9223372036854775808").abyValue, (TBytes{0, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ(Write("3:0:f32=-1.5").abyValue, (TBytes{0, 0, 0xC0, 0xBF}));
    EXPECT_EQ(Write("3:0:f32=1e-3").abyValue, (TBytes{0x6F, 0x12, 0x83, 0x3A}));
    EXPECT_EQ(Write("3:0:f64=0.1").abyValue,
              (TBytes{0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}));
    EXPECT_EQ(Write("3:0:f32=-inf").abyValue, (TBytes{0, 0, 0x80, 0xFF}));

    EXPECT_THAT(WriteError("3:0:i8=128"),
                HasSubstr("'128' is not a value of type i8 (-128 to 127"));
    EXPECT_THAT(WriteError("3:0:i8=-129"), HasSubstr("type i8 (-128 to 127"));
    EXPECT_THAT(WriteError("3:0:i8=0x100"), HasSubstr("type i8"));
    EXPECT_THAT(WriteError("3:0:i64=-9223372036854775809"),
                HasSubstr("type i64 (-9223372036854775808 to 9223372036854775807"));
    EXPECT_THAT(WriteError("3:0:i16=--1"), HasSubstr("type i16"));
    EXPECT_THAT(WriteError("3:0:i16=1.0"), HasSubstr("type i16"));
    EXPECT_THAT(WriteError("3:0:f32=1e39"),
                HasSubstr("'1e39' is not a value of type f32 (-3.4028235e+38 to 3.4028235e+38"));
    EXPECT_THAT(WriteError("3:0:f64=1e309"), HasSubstr("type f64"));
    for (const char* pszNoFloat : {"3:0:f32=0x10", "3:0:f32=", "3:0:f32= 1", "3:0:f32=1,5",
                                   "3:0:f32=infinity", "3:0:f32=.", "3:0:f32=1e"})
        EXPECT_THAT(WriteError(pszNoFloat), HasSubstr("type f32")) << pszNoFloat;
}

TEST(MovactlCommonTest, TypedValues_ShownAsTheirType)
{
    EXPECT_EQ("-100", FormatValue(Read("3:0:i16"), {0x9C, 0xFF}));
    EXPECT_EQ("65436", FormatValue(Read("3:0:16"), {0x9C, 0xFF}));
    EXPECT_EQ("0xFF9C", FormatHex(Read("3:0:i16"), {0x9C, 0xFF}));
    EXPECT_EQ("-128", FormatValue(Read("3:0:i8"), {0x80}));
    EXPECT_EQ("127", FormatValue(Read("3:0:i8"), {0x7F}));
    EXPECT_EQ("-9223372036854775808", FormatValue(Read("3:0:i64"), {0, 0, 0, 0, 0, 0, 0, 0x80}));
    EXPECT_EQ("-1", FormatValue(Read("3:0:i32"), TBytes(4, 0xFF)));
    // The shortest text that reads back as the same value.
    EXPECT_EQ("-1.5", FormatValue(Read("3:0:f32"), {0, 0, 0xC0, 0xBF}));
    EXPECT_EQ("0.001", FormatValue(Read("3:0:f32"), {0x6F, 0x12, 0x83, 0x3A}));
    EXPECT_EQ("0.1",
              FormatValue(Read("3:0:f64"), {0x9A, 0x99, 0x99, 0x99, 0x99, 0x99, 0xB9, 0x3F}));
    EXPECT_EQ("-inf", FormatValue(Read("3:0:f32"), {0, 0, 0x80, 0xFF}));
    EXPECT_EQ("nan", FormatValue(Read("3:0:f32"), {0, 0, 0xC0, 0x7F}));
}

TEST(MovactlCommonTest, Numbers_DecimalAndHexUpToTheirLimit)
{
    std::uint64_t qwValue = 0;
    EXPECT_TRUE(ParseNumber("0xfF", 255, qwValue));
    EXPECT_EQ(255u, qwValue);
    EXPECT_FALSE(ParseNumber("256", 255, qwValue));
    EXPECT_FALSE(ParseNumber("9", 5, qwValue));
    EXPECT_FALSE(ParseNumber("", 5, qwValue));
    EXPECT_FALSE(ParseNumber("1e3", 5000, qwValue));
}

TEST(MovactlCommonTest, RecordResults_InWordsWithTheirNumber)
{
    EXPECT_EQ("done", DescribeResult(0));
    EXPECT_EQ("not run", DescribeResult(kResultNotRun));
    EXPECT_EQ("outside the image (-963)", DescribeResult(-963));
    EXPECT_EQ("no output buffer (-860)", DescribeResult(-860));
    EXPECT_EQ("null pointer (-900)", DescribeResult(-900));
    EXPECT_EQ("unknown board answer, or slave address outside the table (99)",
              DescribeResult(-899));
    EXPECT_EQ("slave not exchanging data (-800)", DescribeResult(-800));
    EXPECT_EQ("board error 0x80 (1)", DescribeResult(-801));
    EXPECT_EQ("board error 0x95 (22)", DescribeResult(-822));
    EXPECT_EQ("slave state 0 (40)", DescribeResult(-840));
    EXPECT_EQ("slave state 5 (45)", DescribeResult(-845));
    EXPECT_EQ("master not operational (50)", DescribeResult(-850));
    EXPECT_EQ("master not operational (53)", DescribeResult(-853));
    EXPECT_EQ("unexpected result (-830)", DescribeResult(-830));
    EXPECT_EQ("unexpected result (-1000)", DescribeResult(-1000));
}

TEST(MovactlCommonTest, ConnectionResults_TheStatusSaysWhyASlaveIsNotConnected)
{
    EXPECT_EQ("connected", DescribeTestResult(0, 43));
    // A configured slave out of data exchange: no error number, the status tells.
    EXPECT_EQ("slave state 4 (44)", DescribeTestResult(-800, 44));
    EXPECT_EQ("slave state 0 (40)", DescribeTestResult(-40, 40));
    EXPECT_EQ("unknown slave state (99)", DescribeTestResult(-99, 99));
    EXPECT_EQ("board error 0x81 (2)", DescribeTestResult(-802, 42));
    EXPECT_EQ("master not operational (51)", DescribeTestResult(-851, 44));

    EXPECT_EQ("board error 0x82 (3)", DescribeOpenResult(-3));
    EXPECT_THAT(DescribeOpenResult(-1), HasSubstr("board error 0x80 (1)"));
}

TEST(MovactlCommonTest, JobCallsAndSlaveStatuses_InWordsWithTheirNumber)
{
    EXPECT_EQ("accepted (0)", DescribePutResult(0));
    EXPECT_THAT(DescribePutResult(-1), testing::StartsWith("refused: the job is not open"));
    EXPECT_EQ("refused: no records (-2)", DescribePutResult(-2));
    EXPECT_EQ("closed (0)", DescribeCloseResult(0));
    EXPECT_EQ("not open (-1)", DescribeCloseResult(-1));
    EXPECT_EQ("refused inside a sink call (-3)", DescribeCloseResult(-3));
    EXPECT_EQ("unexpected result (-7)", DescribeCloseResult(-7));
    EXPECT_THAT(DescribeNotifyResult(-1), testing::StartsWith("refused: a sink is registered"));

    EXPECT_EQ("slave state 2 (42), exchanging data", DescribeStatus(42));
    EXPECT_EQ("slave state 4 (44)", DescribeStatus(44));
    EXPECT_EQ("unknown slave state (99)", DescribeStatus(99));
    // What else the board leaves in the table is an error number with words of its own.
    EXPECT_EQ("board error 0x82", DescribeStatus(3));
    EXPECT_EQ("master not operational", DescribeStatus(50));
    EXPECT_EQ("status 30", DescribeStatus(30));
}

TEST(MovactlCommonTest, Values_AsAPersonReadsThem)
{
    SVariable bit = Read("3:0.6:1");
    EXPECT_EQ("1", FormatValue(bit, {0x40, 0x00})); // the library hands over the bit's weight
    EXPECT_EQ("0", FormatValue(bit, {0x00, 0x00}));
    EXPECT_EQ("", FormatHex(bit, {0x40, 0x00}));
    SVariable word = Read("3:0:16");
    EXPECT_EQ("4660", FormatValue(word, {0x34, 0x12}));
    EXPECT_EQ("0x1234", FormatHex(word, {0x34, 0x12}));
    SVariable quad = Read("3:0:64");
    EXPECT_EQ("18446744073709551615", FormatValue(quad, TBytes(8, 0xFF)));
    EXPECT_EQ("0x0000000000000001", FormatHex(quad, {1, 0, 0, 0, 0, 0, 0, 0}));
    SVariable run = Read("5:0:72");
    EXPECT_EQ("0x0102030405060708FF", FormatValue(run, {1, 2, 3, 4, 5, 6, 7, 8, 0xFF}));
    EXPECT_EQ("", FormatHex(run, {1, 2, 3, 4, 5, 6, 7, 8, 0xFF}));
    const std::uint8_t abyBytes[] = {0x12, 0xAB, 0x00};
    EXPECT_EQ("12 AB 00", HexBytes(abyBytes, 3));
}

// The library reads and writes (BITS + 7) / 8 whole bytes: value, hex and the value written
// are all of those bytes, and a note says so.
TEST(MovactlCommonTest, WidthsBetweenBytes_AreTheWholeBytesTheLibraryMoves)
{
    SVariable twelve = Read("3:0:12");
    EXPECT_EQ("65535", FormatValue(twelve, {0xFF, 0xFF}));
    EXPECT_EQ("0xFFFF", FormatHex(twelve, {0xFF, 0xFF}));
    EXPECT_EQ(65535.0, NumericValue(twelve, {0xFF, 0xFF}));
    EXPECT_EQ(Write("3:0:12=0xFFFF").abyValue, (TBytes{0xFF, 0xFF}));
    EXPECT_EQ(Write("3:0:12=4095").abyValue, (TBytes{0xFF, 0x0F}));
    EXPECT_EQ("3:0:12 is 2 whole bytes (16 bits): the library reads and writes 16 bits for 12, "
              "and so does movactl",
              WholeBytesNote(Write("3:0:12=4095")));
    EXPECT_THAT(WholeBytesNote(Read("3:1:3")), HasSubstr("3:1:3 is 1 whole byte (8 bits)"));
    EXPECT_EQ("", WholeBytesNote(Read("3:0:16")));
    EXPECT_EQ("", WholeBytesNote(Read("3:0.3:1")));
    EXPECT_EQ("", WholeBytesNote(Read("5:0:72")));
}

TEST(MovactlCommonTest, Watchdog_WarnedWhenTheIntervalOutlastsIt)
{
    EXPECT_THAT(WatchdogWarning(5, 300),
                AllOf(HasSubstr("(--watchdog 5, 50 ms) is not longer than the interval of 300 ms"),
                      HasSubstr("--watchdog above 30"), HasSubstr("--interval below 50 ms")));
    EXPECT_NE("", WatchdogWarning(30, 300)); // the round itself takes time too
    EXPECT_EQ("", WatchdogWarning(31, 300));
    EXPECT_EQ("", WatchdogWarning(0, 300)); // no watchdog
    EXPECT_NE("", WatchdogWarning(255, 3600000));
}

TEST(MovactlCommonTest, Table_ColumnsAsWideAsTheirWidestCell)
{
    CTextTable table({"name", ">n", "words"});
    table.AddRow({"a", "100", "done"});
    table.AddRow({"longer", "7", ""});
    EXPECT_EQ(3u, table.GetLineCount());
    EXPECT_EQ("name      n  words\n"
              "a       100  done\n"
              "longer    7\n",
              table.Format());
}

} // namespace
