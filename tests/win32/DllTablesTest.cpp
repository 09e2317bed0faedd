// What a Windows host and the board library see of MovaJob.dll: two undecorated factories
// out, the eight board operations in from KORIX.dll by ordinal, and no runtime DLL of the
// compiler that a plant machine would not have.
#include "tests/support/ChildProcess.h"
#include "tests/win32/PeImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

using testing::ElementsAre;
using testing::IsEmpty;

namespace
{

const std::set<std::uint32_t> kBoardOrdinals = {3, 4, 9, 11, 12, 13, 16, 20};

std::string Lower(std::string str)
{
    std::transform(str.begin(), str.end(), str.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return str;
}

std::string BesideTests(const char* pszFile)
{
    std::string strPath = testsupport::HelperPath("x");
    return strPath.substr(0, strPath.find_last_of("\\/") + 1) + pszFile;
}

const win32test::SImportedDll* FindImport(const win32test::SPeImage& image, const char* pszDll)
{
    for (const auto& dll : image.aImports)
    {
        if (Lower(dll.strName) == Lower(pszDll))
            return &dll;
    }
    return nullptr;
}

TEST(MovaJobDllTest, ExportsExactlyTheTwoFactoriesUndecorated)
{
    win32test::SPeImage image = win32test::ReadPeImage(BesideTests("MovaJob.dll"));
    ASSERT_TRUE(image.bLoaded);
    std::vector<std::string> aNames = image.exports.aNames;
    std::sort(aNames.begin(), aNames.end());
    EXPECT_THAT(aNames, ElementsAre("CreateIMovaJob", "CreateIMovaProto"));
    EXPECT_EQ(image.exports.setOrdinals.size(), 2u) << "nothing exported by ordinal alone";
}

TEST(MovaJobDllTest, ImportsTheBoardOperationsFromKorixByOrdinalOnly)
{
    win32test::SPeImage image = win32test::ReadPeImage(BesideTests("MovaJob.dll"));
    ASSERT_TRUE(image.bLoaded);
    const win32test::SImportedDll* pKorix = FindImport(image, "KORIX.dll");
    ASSERT_NE(pKorix, nullptr);
    EXPECT_THAT(pKorix->aNames, IsEmpty());
    EXPECT_EQ(pKorix->setOrdinals, kBoardOrdinals);
}

TEST(MovaJobDllTest, NeedsOnlySystemDllsBesideKorix)
{
    const std::set<std::string> setAllowed = {"korix.dll", "kernel32.dll", "user32.dll",
                                              "ws2_32.dll", "msvcrt.dll"};
    for (const char* pszDll : {"MovaJob.dll", "KORIX.dll"})
    {
        win32test::SPeImage image = win32test::ReadPeImage(BesideTests(pszDll));
        ASSERT_TRUE(image.bLoaded) << pszDll;
        for (const auto& dll : image.aImports)
            EXPECT_TRUE(setAllowed.count(Lower(dll.strName)) == 1)
                << pszDll << " needs " << dll.strName;
    }
}

TEST(KorixDllTest, ExportsTheEightOperationsByOrdinalWithoutNames)
{
    win32test::SPeImage image = win32test::ReadPeImage(BesideTests("KORIX.dll"));
    ASSERT_TRUE(image.bLoaded);
    EXPECT_THAT(image.exports.aNames, IsEmpty());
    EXPECT_EQ(image.exports.setOrdinals, kBoardOrdinals);
}

} // namespace
