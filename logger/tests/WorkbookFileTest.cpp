// pondus-log's workbook: the row file it keeps meanwhile stays, and is
// named, when the workbook cannot be put in place; files already there are
// never taken over.
#include "RowFile.h"
#include "WorkbookFile.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace pondus::logger {
namespace {

namespace fs = std::filesystem;

RecordedRow row(int32_t number)
{
    RecordedRow recorded;
    recorded.number = number;
    recorded.utcMs = 1'700'000'000'000 + 200 * number;
    recorded.readings.push_back({1, 1250 * number, 1000, 200, 0, true, 301, 500001});
    return recorded;
}

TEST(WorkbookFile, AWorkbookThatCannotBePutInPlaceKeepsTheRowFile)
{
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("day.xlsx")).toStdString();
    WorkbookFile workbook(path);
    RowFile rows(workbook.rowFilePath(), RowText(FileFormat::Csv, ValueFormat()));
    for (int32_t n = 1; n <= 3; ++n) {
        rows.append(row(n));
        workbook.append(row(n));
    }
    // Something else took the name meanwhile: the rename onto it fails.
    fs::create_directory(path);
    try {
        workbook.finish(1'700'000'001'000);
        FAIL() << "a workbook over a folder";
    } catch (const std::runtime_error &error) {
        EXPECT_EQ(0u, std::string(error.what()).find(path + ": ")) << error.what();
        EXPECT_NE(std::string::npos, std::string(error.what()).find(workbook.rowFilePath())) << error.what();
    }
    std::ifstream kept(workbook.rowFilePath(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(kept)), std::istreambuf_iterator<char>());
    EXPECT_EQ(1 + 3, std::count(text.begin(), text.end(), '\n')) << "the header and every row";
    EXPECT_TRUE(fs::is_directory(path));
}

TEST(WorkbookFile, NeitherAWorkbookNorALeftRowFileIsTakenOver)
{
    QTemporaryDir folder;
    for (const char *existing : {"kept.xlsx", "crashed.xlsx.rows.csv"}) {
        const std::string path = folder.filePath(QString::fromLatin1(existing)).toStdString();
        std::FILE *file = std::fopen(path.c_str(), "w");
        ASSERT_NE(nullptr, file);
        std::fclose(file);
    }
    for (const char *name : {"kept.xlsx", "crashed.xlsx"}) {
        const std::string path = folder.filePath(QString::fromLatin1(name)).toStdString();
        EXPECT_THROW(WorkbookFile{path}, std::runtime_error) << name;
    }
    // Without rows there is no workbook, and the empty row file goes.
    const std::string path = folder.filePath(QStringLiteral("empty.xlsx")).toStdString();
    WorkbookFile workbook(path);
    RowFile rows(workbook.rowFilePath(), RowText(FileFormat::Csv, ValueFormat()));
    EXPECT_FALSE(workbook.finish(0));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(workbook.rowFilePath()));
}

} // namespace
} // namespace pondus::logger
