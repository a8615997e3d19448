// The logger's row texts and its output file.
#include "RowFile.h"
#include "RowText.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pondus::logger {
namespace {

RecordedRow sampleRow(int32_t number)
{
    RecordedRow row;
    row.number = number;
    row.utcMs = 1'700'000'000'250; // 2023-11-14 22:13:20.250 UTC
    row.utcOffsetSeconds = 3 * 3600;
    row.readings.push_back({1, -123456, 1000, 205, 5, true, 301, 500001});
    row.readings.push_back({3, 7, 1, 100, -1, false, 100, 0});
    return row;
}

const ValueFormat russian{QLocale(QLocale::Russian, QLocale::Russia)};

TEST(RowText, TabSeparatedAsTheWindowSavesItsTable)
{
    RowText text(FileFormat::Tsv, russian);
    EXPECT_EQ("\t\t\tВесы №1\t\tВесы №3\t\t\r\n"
              "№\tВремя\tДата\tАВ-120\t\tНеизвестна\t\t\r\n"
              "\t\t\t500001\t\t0\t\t\r\n",
              text.captions(sampleRow(1), true));
    EXPECT_EQ("4\t01:13:20\t15.11.2023\t-123,456\tkg\t7\t\t", text.row(sampleRow(4)));
}

TEST(RowText, CommaSeparatedAsTheWindowExportsIt)
{
    RowText text(FileFormat::Csv, russian);
    const std::string header = "№,Время,Весы №1 АВ-120 500001,Весы №1 ед.,Весы №1 Δm,Весы №1 Δm %,Весы №1 стаб.,"
                               "Весы №3 Неизвестна 0,Весы №3 ед.,Весы №3 Δm,Весы №3 Δm %,Весы №3 стаб.\r\n";
    // The byte-order mark only at the start of a file.
    EXPECT_EQ("\xEF\xBB\xBF" + header, text.captions(sampleRow(1), true));
    EXPECT_EQ(header, text.captions(sampleRow(1), false));
    EXPECT_EQ("2,2023-11-15T01:13:20.250+03:00,-123.456,kg,0.000,0,1,7,,,,0", text.row(sampleRow(2)));
    // The offset is written out at UTC too.
    RecordedRow utc = sampleRow(3);
    utc.utcOffsetSeconds = 0;
    EXPECT_EQ("3,2023-11-14T22:13:20.250+00:00,-123.456,kg,0.000,0,1,7,,,,0", text.row(utc));
}

TEST(RowText, ChangesFromEachSamplesFirstStableReadingAndItsNameInTheCaptions)
{
    struct Case {
        int32_t raw, divisor, unitCode;
        bool stable;
        const char *fields; // Δm and Δm %
    } const cases[] = {
        {12'500, 1000, 200, false, ","},                   // no reference before a stable reading
        {12'500, 1000, 200, true, "0.000,0"},              // the reference
        {12'400, 1000, 200, false, "-0.100,-0.8"},         // unstable readings are compared too
        {12'350, 1000, 200, true, "-0.150,-1.2"},
        {1'235, 100, 200, true, "-0.15,-1.2"},             // another divisor of the same unit
        {12, 1, 205, true, "0,0"},                         // another unit: a new reference
        {-6, 1, 205, true, "-18,-150"},
    };
    RowText text(FileFormat::Csv, russian);
    text.setSamples({"Глина К-2, верх"});
    RecordedRow row = sampleRow(1);
    row.readings.resize(1);
    EXPECT_NE(std::string::npos, text.captions(row, false).find(",\"Весы №1 — Глина К-2, верх АВ-120 500001\","));
    for (const Case &c : cases) {
        BalanceReading &reading = row.readings[0];
        reading.rawValue = c.raw;
        reading.divisor = c.divisor;
        reading.unitCode = c.unitCode;
        reading.shownUnit = c.stable ? int8_t(c.unitCode - 200) : int8_t(-1);
        reading.stable = c.stable;
        const std::string line = text.row(row);
        size_t unitEnd = 0;
        for (int field = 0; field < 4; ++field)
            unitEnd = line.find(',', unitEnd) + 1;
        EXPECT_EQ(std::string(c.fields) + (c.stable ? ",1" : ",0"), line.substr(unitEnd)) << line;
    }
    text.captions(row, false);
    EXPECT_TRUE(text.row(row).ends_with(",0,0,1")) << "a new header starts the references afresh";
}

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(RowFile, AppendsAndNeverTruncates)
{
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("rows.csv")).toStdString();
    std::ofstream(path) << "kept\n";
    {
        RowFile file(path, RowText(FileFormat::Csv, russian));
        file.append(sampleRow(1));
        file.append(sampleRow(2));
    }
    const std::string text = contents(path);
    EXPECT_EQ(0u, text.find("kept\n№,Время,")) << "no byte-order mark amid a file";
    EXPECT_EQ(1u + 1u + 2u, size_t(std::count(text.begin(), text.end(), '\n')));
}

TEST(RowFile, FailuresNameThePathAndTheReason)
{
    EXPECT_THROW(
        {
            try {
                RowFile("/nonexistent/rows.tsv", RowText(FileFormat::Tsv, russian));
            } catch (const std::runtime_error &error) {
                EXPECT_STREQ("/nonexistent/rows.tsv: No such file or directory", error.what());
                throw;
            }
        },
        std::runtime_error);

    // A file that may not grow: the write fails with the system's reason.
    QTemporaryDir folder;
    const std::string path = folder.filePath(QStringLiteral("full.tsv")).toStdString();
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            RowFile file(path, RowText(FileFormat::Tsv, russian));
            for (int n = 1; n < 10; ++n)
                file.append(sampleRow(n));
        } catch (const std::runtime_error &error) {
            ::_exit(std::string(error.what()) == path + ": File too large" ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

} // namespace
} // namespace pondus::logger
