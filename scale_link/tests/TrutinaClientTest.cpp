// The C++ client of the library: loading failures it reports, and the block
// decoded through its accessors at the offsets the C header defines.
#include "TrutinaClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <stdexcept>

namespace trutina {
namespace {

TEST(TrutinaClient, MissingFileIsReportedNotThrown)
{
    const Library library("/nonexistent/libtrutina.so");
    EXPECT_FALSE(library.loaded());
    EXPECT_FALSE(library.exports().complete());
    EXPECT_NE(std::string::npos, library.error().find("/nonexistent/libtrutina.so")) << library.error();
    EXPECT_EQ(0, library.setComPort(1)) << "a missing export is not called";
    Block block;
    block.fill(-7);
    EXPECT_FALSE(library.freshData(block));
    EXPECT_EQ(-7, block.linkState()) << "the block stays as it was";
}

TEST(TrutinaClient, LibraryWithoutTheExportsNamesWhatIsMissing)
{
    Library library("libm.so.6");
    ASSERT_TRUE(library.loaded()) << library.error();
    EXPECT_FALSE(library.exports().complete());
    EXPECT_NE(std::string::npos, library.error().find("lacks SetComPort")) << library.error();
    Library moved = std::move(library);
    EXPECT_TRUE(moved.loaded());
    EXPECT_FALSE(library.loaded()); // NOLINT: the moved-from client owns nothing
    moved.unload();
    EXPECT_FALSE(moved.loaded());
}

TEST(TrutinaClient, BlockAccessorsReadTheWordsOfTheCHeader)
{
    Block block;
    for (int word = 0; word < Block::wordCount; ++word)
        block.data()[word] = word;
    EXPECT_EQ(0, block.version());
    EXPECT_EQ(1, block.linkState());
    EXPECT_EQ(2, block.currentPort());
    EXPECT_EQ(3, block.balanceCount());
    EXPECT_EQ(TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, 1), block.modelCode(1));
    EXPECT_EQ(TRUTINA_WORD(TRUTINA_TABLE_IDENT_NUMBER, 15), block.identNumber(15));
    EXPECT_EQ(TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 7), block.readingCount(7));
    EXPECT_EQ(TRUTINA_WORD(TRUTINA_TABLE_UNIT_CODE, 2), block.unitCode(2));
    EXPECT_EQ(TRUTINA_WORD(TRUTINA_TABLE_DIVISOR, 3), block.divisor(3));
    EXPECT_EQ(TRUTINA_WORD(TRUTINA_TABLE_RAW_VALUE, 4), block.rawValue(4));
    EXPECT_EQ(131, block.timeOfDayMs(15));
    EXPECT_THROW(block.rawValue(16), std::out_of_range);
    EXPECT_THROW(block.rawValue(-1), std::out_of_range);

    block.setTable(TRUTINA_TABLE_RAW_VALUE, 5, -12345);
    block.setTable(TRUTINA_TABLE_DIVISOR, 5, 1000);
    block.setTable(TRUTINA_TABLE_STABLE_FLAG, 5, 0);
    block.setTable(TRUTINA_TABLE_UNIT_CODE, 5, 205);
    EXPECT_DOUBLE_EQ(-12.345, block.weight(5));
    EXPECT_FALSE(block.stable(5));
    EXPECT_STREQ("kg", block.unit(5));
    block.setHeader(TRUTINA_WORD_LINK_STATE, TRUTINA_LINK_ONLINE);
    EXPECT_TRUE(block.online());
}

TEST(TrutinaClient, NamesOfUnitsAndLinkStates)
{
    EXPECT_STREQ("g", unitSymbol(200));
    EXPECT_STREQ("ot", unitSymbol(207));
    EXPECT_STREQ("", unitSymbol(100));
    EXPECT_STREQ("", unitSymbol(208));
    EXPECT_STREQ("setting up the port", linkStateName(TRUTINA_LINK_SETTING_UP));
    EXPECT_STREQ("on line", linkStateName(TRUTINA_LINK_ONLINE));
    EXPECT_STREQ("?", linkStateName(0));
}

TEST(TrutinaClient, ReadingCountsCompareAcrossTheWrap)
{
    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    constexpr int32_t bottom = std::numeric_limits<int32_t>::min();
    EXPECT_TRUE(countIsNewer(1, 0));
    EXPECT_FALSE(countIsNewer(5, 5));
    EXPECT_FALSE(countIsNewer(4, 5));
    EXPECT_TRUE(countIsNewer(bottom, top)) << "the first count after the wrap is newer";
    EXPECT_TRUE(countIsNewer(bottom + 10, top - 10));
    EXPECT_FALSE(countIsNewer(top, bottom));
}

} // namespace
} // namespace trutina
