// GSD files from disk: only regular text files of at most 1 MiB are read; a FIFO is refused
// without waiting for a writer.
#include "dp/gsd/GsdFileText.h"

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace
{

class GsdFileText : public testing::Test
{
protected:
    void SetUp() override { m_strBase = testing::TempDir() + testsupport::UniqueName("gsdfile"); }
    void TearDown() override
    {
        for (const std::string& strPath : m_made)
            if (::unlink(strPath.c_str()) != 0)
                ::rmdir(strPath.c_str());
    }

    std::string Path(const char* pszName)
    {
        m_made.push_back(m_strBase + pszName);
        return m_made.back();
    }

    std::string Write(const char* pszName, const std::string& strText)
    {
        const std::string strPath = Path(pszName);
        std::ofstream(strPath, std::ios::binary) << strText;
        return strPath;
    }

    std::string m_strBase;
    std::vector<std::string> m_made;
};

std::string Refusal(const std::string& strPath)
{
    dp::SGsdStation station;
    std::string strError;
    EXPECT_FALSE(dp::ReadGsdFile(strPath, station, strError));
    return strError;
}

TEST_F(GsdFileText, ReadsARegularFileAndNamesItInErrors)
{
    const std::string strGood = Write("good.gsd", "Ident_Number = 0x1234\r\n");
    dp::SGsdStation station;
    std::string strError;
    ASSERT_TRUE(dp::ReadGsdFile(strGood, station, strError)) << strError;
    EXPECT_EQ(station.identNumber.nValue, 0x1234);
    EXPECT_EQ(station.strFile, strGood);

    const std::string strBad = Write("bad.gsd", "\nIdent_Number = x\n");
    EXPECT_EQ(Refusal(strBad), strBad + ":2: Ident_Number: expected a number, found 'x'");
    const std::string strBinary = Write("nul.gsd", std::string("#Profibus_DP\n\0\1\2", 16));
    EXPECT_EQ(Refusal(strBinary), strBinary + ":2: a NUL byte: this is not a text file");
    EXPECT_EQ(Refusal(m_strBase + "missing.gsd"),
              m_strBase + "missing.gsd: No such file or directory");
}

TEST_F(GsdFileText, RefusesFifosFoldersAndFilesLargerThanAnyGsd)
{
    const std::string strFifo = Path("fifo.gsd");
    ASSERT_EQ(::mkfifo(strFifo.c_str(), 0600), 0);
    EXPECT_EQ(Refusal(strFifo), strFifo + ": a FIFO, not a GSD file"); // and did not wait

    const std::string strFolder = Path("folder.gsd");
    ASSERT_EQ(::mkdir(strFolder.c_str(), 0700), 0);
    EXPECT_EQ(Refusal(strFolder), strFolder + ": a folder, not a GSD file");

    // Exactly 1 MiB is read; one byte more is not.
    const std::string strLimit = Write("limit.gsd", std::string(dp::kMaxGsdFileBytes, '\n'));
    dp::SGsdStation station;
    std::string strError;
    EXPECT_TRUE(dp::ReadGsdFile(strLimit, station, strError)) << strError;
    const std::string strLarge = Write("large.gsd", std::string(dp::kMaxGsdFileBytes + 1, '\n'));
    EXPECT_EQ(Refusal(strLarge),
              strLarge + ": 1048577 bytes, larger than any GSD file (at most 1 MiB)");
}

} // namespace
