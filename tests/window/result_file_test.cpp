// result_file_test.cpp -- the window's reader on the files real runs write,
// its refusals, and which result files belong to the run just made.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include "app/compartment_model_files.h"
#include "support/test_support.h"
#include "window/model_directory.h"
#include "window/result_file.h"
#include "window/window_harness.h"

namespace ostra::window {
namespace {

namespace fs = std::filesystem;
using ostra::testing::ParseCsvRows;
using ostra::testing::TempDir;

// Runs `ostra` on a copy of an example (after `edit`) and reads one result file.
struct ExampleRun {
    TempDir dir;
    ResultRead read;
    std::string text;
    ExampleRun(const std::string& example, const std::string& file,
               const std::function<void(const fs::path&)>& edit = nullptr) {
        testing::CopyExample(example, dir.Path());
        if (edit) edit(dir.Path());
        const auto run = ostra::testing::RunOstraExe(dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        read = ReadResult(dir.Path() / file);
        text = dir.Read(file);
    }
    const ResultTable& table() const { return *read.table; }
};

// The reader's numbers against an independent strtod reading of the same text.
void ExpectSameNumbers(const ResultTable& t, const std::string& text) {
    const auto rows = ParseCsvRows(text);
    ASSERT_EQ(t.rows.size(), rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) ASSERT_EQ(t.rows[r], rows[r]) << "row " << r + 1;
}

TEST(ResultFile, ReadsTimeSeriesOfBothModes) {
    ExampleRun river("river-network", "AllTimeSeries.csv");
    ASSERT_TRUE(river.read.table) << river.read.problem;
    const ResultTable& t = river.table();
    ASSERT_EQ(t.header.size(), 9u);
    EXPECT_EQ(t.header[0], "Time");
    EXPECT_EQ(t.header[1], "SV 1 in Compartment 2");
    EXPECT_EQ(t.header[8], "SV 2 in Compartment 6");
    ASSERT_EQ(t.rows.size(), 240u);
    EXPECT_EQ(t.rows.front()[0], 0.25);
    EXPECT_EQ(t.rows.back()[0], 60);
    EXPECT_TRUE(t.trailer.empty());
    ExpectSameNumbers(t, river.text);

    ExampleRun tanks("equation-solver", "AllTimeSeries.csv");
    ASSERT_TRUE(tanks.read.table) << tanks.read.problem;
    EXPECT_EQ(tanks.table().header, (std::vector<std::string>{"Time", "Equation 1", "Equation 2", "Equation 3"}));
    ASSERT_EQ(tanks.table().rows.size(), 120u);
    const std::vector<double>& last = tanks.table().rows.back();
    EXPECT_EQ(last[0], 240);
    EXPECT_NEAR(last[1], 12.22, 0.01);
    EXPECT_NEAR(last[2], 11.34, 0.01);
    EXPECT_NEAR(last[3], 10.54, 0.01);

    ExampleRun lake("river-network", "OneCompTimeSeries.csv", [](const fs::path& d) {
        testing::SetControlValue(d, "Results (1 profile", "2");
        testing::SetControlValue(d, "Compartment written", "5,4");
    });
    ASSERT_TRUE(lake.read.table) << lake.read.problem;
    EXPECT_EQ(lake.table().header, (std::vector<std::string>{"Time", "SV  1", "SV  2"}));
    EXPECT_EQ(lake.table().rows.size(), 60u);
    ExpectSameNumbers(lake.table(), lake.text);
}

TEST(ResultFile, ReadsProfilesAndTheMassBalanceWithItsPercentageLine) {
    ExampleRun steady("river-network-steady", "ProfileSnapshot.csv");
    ASSERT_TRUE(steady.read.table) << steady.read.problem;
    EXPECT_EQ(steady.table().header,
              (std::vector<std::string>{"TIME", "VARIABLE", "Compartment", "X", "Y", "Z", "CONC"}));
    ASSERT_EQ(steady.table().rows.size(), 8u);
    EXPECT_EQ(steady.table().rows[2][3], 3500);
    ExpectSameNumbers(steady.table(), steady.text);

    ExampleRun quadratic("quadratic-steady", "ProfileSnapshot.csv");
    ASSERT_TRUE(quadratic.read.table) << quadratic.read.problem;
    EXPECT_EQ(quadratic.table().header, (std::vector<std::string>{"TIME", "VARIABLE", "VALUE"}));
    ASSERT_EQ(quadratic.table().rows.size(), 2u);
    EXPECT_NEAR(quadratic.table().rows[0][2], (std::sqrt(5.0) - 1) / 2, 1e-6);
    EXPECT_NEAR(quadratic.table().rows[1][2], 0.3595220, 1e-6);

    TempDir dir;
    testing::CopyExample("river-network", dir.Path());
    ASSERT_EQ(ostra::testing::RunOstraExe(dir.Path()).status, 0);
    const ResultRead mb = ReadResult(dir.Path() / "MassBalance.csv");
    ASSERT_TRUE(mb.table) << mb.problem;
    EXPECT_EQ(mb.table->header.size(), 8u);
    EXPECT_EQ(mb.table->header[3], "Transport Out");
    ASSERT_EQ(mb.table->rows.size(), 2u);
    EXPECT_EQ(mb.table->rows[0][1], 50000);
    ASSERT_EQ(mb.table->trailer.size(), 1u);
    EXPECT_EQ(mb.table->trailer[0].rfind("Mass balance error across state variables", 0), 0u);
    EXPECT_EQ(mb.table->trailer[0].back(), '%');
}

TEST(ResultFile, NamesTheLineAndFieldOfWhatCannotBeDrawn) {
    auto problem = [](const std::string& text) { return ParseResultText(text, "AllTimeSeries.csv").problem; };
    EXPECT_EQ(problem("Time,a ,\r\n .5 , 1 ,\r\n 1 , 1;5 ,\r\n"),
              "\"AllTimeSeries.csv\", line 3, field 2: \"1;5\" is not a number");
    EXPECT_EQ(problem("Time,a ,b ,\r\n .5 , 1 ,\r\n"),
              "\"AllTimeSeries.csv\", line 2 has 2 fields, the header names 3");
    EXPECT_EQ(problem("Time,a ,\r\n .5 , 1 ,\r\n 1 , ,\r\n"),
              "\"AllTimeSeries.csv\", line 3, field 2: \"\" is not a number");
    EXPECT_EQ(problem("A,B\r\n 1 , 2 \r\nTotal = 3\r\n 2 , 3 \r\n"),
              "\"AllTimeSeries.csv\", line 4: a row of numbers after the text \"Total = 3\"");
    EXPECT_EQ(problem(""), "\"AllTimeSeries.csv\" is empty");
    EXPECT_EQ(problem(" \r\n\r\n"), "\"AllTimeSeries.csv\" is empty");
    // LF line ends and blank lines between rows are read too.
    const ResultRead lf = ParseResultText("T,a\n 1 , 2 \n\n 2 , 3 \n", "x.csv");
    ASSERT_TRUE(lf.table) << lf.problem;
    EXPECT_EQ(lf.table->rows, (std::vector<std::vector<double>>{{1, 2}, {2, 3}}));

    TempDir dir;
    EXPECT_EQ(ReadResult(dir.Path() / "MassBalance.csv").problem, "\"MassBalance.csv\" is missing");
    fs::create_directory(dir.Path() / "ProfileSnapshot.csv");
    EXPECT_EQ(ReadResult(dir.Path() / "ProfileSnapshot.csv").problem, "\"ProfileSnapshot.csv\" cannot be read");
}

TEST(ResultFile, ParsesNumbersAsTheFilesWriteThem) {
    EXPECT_EQ(ParseNumber(" .5 "), 0.5);
    EXPECT_EQ(ParseNumber("-2.5 "), -2.5);
    EXPECT_EQ(ParseNumber(" 1.5E-05 "), 1.5e-05);
    EXPECT_EQ(ParseNumber(" 1.5E+20 "), 1.5e+20);
    EXPECT_EQ(ParseNumber("-999 "), -999);
    EXPECT_EQ(ParseNumber("\t3\r"), 3);
    for (const char* bad : {"", "  ", "1.5x", "1 2", "inf", "nan", "--1", ".5.5"})
        EXPECT_FALSE(ParseNumber(bad)) << bad;
}

TEST(ModelDirectory, RefusesDirectoriesWithoutControlCsvInAnyCase) {
    TempDir dir;
    EXPECT_NE(ModelDirectoryProblem(dir.Path()).find("holds no \"Control.csv\""), std::string::npos);
    EXPECT_NE(ModelDirectoryProblem(dir.Path() / "nowhere").find("does not exist"), std::string::npos);
    dir.Write("file", "");
    EXPECT_NE(ModelDirectoryProblem(dir.Path() / "file").find("is not a directory"), std::string::npos);
    fs::create_directory(dir.Path() / "Control.csv");  // a directory of that name is no control file
    EXPECT_NE(ModelDirectoryProblem(dir.Path()).find("holds no"), std::string::npos);
    TempDir model;
    model.Write("CONTROL.CSV", "");
    EXPECT_EQ(ModelDirectoryProblem(model.Path()), "");
}

TEST(ModelDirectory, ResultsOfThisRunLeaveOlderFilesOfOtherKindsOut) {
    TempDir dir;
    dir.Write("ProfileSnapshot.csv", "from an earlier run\r\n");
    dir.Write("massbalance.csv", "from an earlier run\r\n");
    // Older than the clock's slack, as a file of an earlier program start is.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(dir.Path() / "ProfileSnapshot.csv", old);
    fs::last_write_time(dir.Path() / "massbalance.csv", old);
    const ResultStamps before = StampResults(dir.Path());
    dir.Write("AllTimeSeries.csv", "new\r\n");
    dir.Write("massbalance.csv", "rewritten by the run\r\n");
    const std::vector<fs::path> written = ResultsOfThisRun(dir.Path(), before);
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0].filename(), "AllTimeSeries.csv");
    EXPECT_EQ(written[1].filename(), "massbalance.csv");
}

}  // namespace
}  // namespace ostra::window
