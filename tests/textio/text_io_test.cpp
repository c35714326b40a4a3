// Tests of field reading, line writing and case-insensitive file names.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "textio/errors.h"
#include "textio/file_names.h"
#include "textio/text_reader.h"
#include "textio/text_writer.h"

namespace {

using ostra::testing::Crlf;
using ostra::testing::TempDir;
using textio::DataError;
using textio::TextReader;
using textio::TextWriter;

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DataError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(TextReader, RecordsSpanLinesAndShareLinesAlike) {
    TempDir dir;
    dir.Write("a.csv", "header, ignored\n1,2,3\n4,\n5\n  6 , \"7\" ,8\n");
    dir.Write("b.csv", Crlf("header\n1\n2\n3\n4\n5\n6\n7\n8\n"));
    for (const char* name : {"a.csv", "b.csv"}) {
        TextReader in(dir.Path(), name);
        EXPECT_FALSE(in.ReadLine().empty());
        for (int k = 1; k <= 8; ++k) EXPECT_EQ(in.ReadDouble("value"), k) << name;
        EXPECT_TRUE(in.AtEnd());
    }
}

TEST(TextReader, TypedFieldsAndStrings) {
    TempDir dir;
    dir.Write("t.csv", Crlf("h\n\"ENVS\", y ,-2.5,1E-05,.5,2.5,3.5,-32768\n"));
    TextReader in(dir.Path(), "T.CSV");  // names match without regard to case
    in.ReadLine();
    EXPECT_EQ(in.ReadString("mode"), "ENVS");
    EXPECT_EQ(in.ReadString("flag"), "y");
    EXPECT_EQ(in.ReadSingle("s"), -2.5f);
    EXPECT_EQ(in.ReadDouble("d"), 1e-5);
    EXPECT_EQ(in.ReadSingle("s"), 0.5f);
    EXPECT_EQ(in.ReadInteger("halves to even"), 2);
    EXPECT_EQ(in.ReadInteger("halves to even"), 4);
    EXPECT_EQ(in.ReadInteger("lowest"), -32768);
}

TEST(TextReader, SingleFieldsAreRoundedOnceFromTheText) {
    TempDir dir;
    // Parsing through double first would round twice for this value.
    dir.Write("s.csv", "h\n1.00000005960464477539062500000001\n");
    TextReader in(dir.Path(), "s.csv");
    in.ReadLine();
    EXPECT_EQ(in.ReadSingle("x"), 1.00000011920928955078125f);
}

// Every number reads as the C library's strtof / strtod give it, bit for bit,
// and a field they do not take whole, or that is out of range, fails as
// they make it fail: long digit strings and halfway cases, signs, leading
// and trailing points, exponents at and past the ends of both ranges,
// subnormals, and malformed mixtures of the accepted characters.
TEST(TextReader, NumbersReadAsTheCLibraryConvertsThem) {
    std::vector<std::string> fields = {"0", "-0", "+0", "+5", "-.5", "5.", ".", "+", "-", "e5", "1e", "1e+", "1e-",
                                       "1..2", "1e5e5", "--1", "+-1", "1-2", "3.4028235e38", "3.4028236e38",
                                       "3.40282357e38", "1e39", "1.7976931348623157e308", "1.8e308", "1e-38",
                                       "1e-45", "1e-46", "7e-46", "1e-320", "1e-400", "4.9e-324", "2e-324",
                                       "16777217", "9007199254740993", "1.00000005960464477539062500000001",
                                       "0.1000000000000000055511151231257827", "000000000000000000000001.5",
                                       "1E-05", "-999", "123456789012345678901234567890E-20"};
    std::mt19937 random(20261207);
    const std::string alphabet = "0123456789.+-eE";
    for (int n = 0; n < 20000; ++n) {
        std::string f;
        if (n % 2 == 0) {  // a well-formed number of random length and exponent
            if (random() % 3 == 0) f += "-+"[random() % 2];
            for (int d = static_cast<int>(random() % 25); d >= 0; --d) f += static_cast<char>('0' + random() % 10);
            if (random() % 2) {
                f.insert(random() % (f.size() + 1), ".");
            }
            if (random() % 2) f += "eE"[random() % 2] + std::to_string(static_cast<int>(random() % 700) - 350);
        } else {  // any string of the characters a number may hold
            for (int d = static_cast<int>(random() % 8); d >= 0; --d) f += alphabet[random() % alphabet.size()];
        }
        fields.push_back(f);
    }
    std::string text = "h\n";
    for (const std::string& f : fields) text += f + "\n";
    TempDir dir;
    dir.Write("n.csv", text);
    for (const bool single : {true, false}) {
        TextReader in(dir.Path(), "n.csv");
        in.ReadLine();
        int numbers = 0;
        for (const std::string& f : fields) {
            char* end = nullptr;
            errno = 0;
            const double expected = single ? std::strtof(f.c_str(), &end) : std::strtod(f.c_str(), &end);
            const bool whole = end == f.c_str() + f.size() && !(errno == ERANGE && std::isinf(expected));
            try {
                const double got = single ? in.ReadSingle("x") : in.ReadDouble("x");
                ASSERT_TRUE(whole) << f;
                ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << f << " " << got << " " << expected;
                ++numbers;
            } catch (const DataError&) {
                ASSERT_FALSE(whole) << f;
            }
        }
        EXPECT_GT(numbers, 10000);
    }
}

TEST(TextReader, LineReadsAfterPartlyReadLineTakeItsRest) {
    TempDir dir;
    dir.Write("c.csv", "label one\n1, extra\nlabel two\n2\n");
    TextReader in(dir.Path(), "c.csv");
    EXPECT_EQ(in.ReadLine(), "label one");
    EXPECT_EQ(in.ReadInteger("v"), 1);
    EXPECT_TRUE(in.MoreFieldsOnLine());
    EXPECT_EQ(in.ReadLine(), " extra");
    EXPECT_EQ(in.ReadLine(), "label two");
    EXPECT_EQ(in.ReadInteger("v"), 2);
    EXPECT_FALSE(in.MoreFieldsOnLine());
    EXPECT_EQ(in.Line(), 4);
}

TEST(TextReader, ErrorsNameFileLineFieldAndValue) {
    TempDir dir;
    dir.Write("bad.csv", Crlf("head\n1,2\n3,abc,5\n"));
    TextReader in(dir.Path(), "bad.csv");
    in.ReadLine();
    in.ReadDouble("a");
    in.ReadDouble("b");
    in.ReadDouble("c");
    EXPECT_EQ(MessageOf([&] { in.ReadDouble("flow of record 2"); }),
              "file \"bad.csv\", line 3, field 2 (flow of record 2): expected a number, found \"abc\"");
    EXPECT_EQ(in.ReadInteger("e"), 5);
    EXPECT_EQ(MessageOf([&] { in.ReadDouble("volume"); }),
              "file \"bad.csv\", line 3 (volume): expected a number, found the end of the file");

    dir.Write("empty.csv", "h\n1,,3\n");
    TextReader e(dir.Path(), "empty.csv");
    e.ReadLine();
    e.ReadSingle("x");
    EXPECT_EQ(MessageOf([&] { e.ReadSingle("y"); }),
              "file \"empty.csv\", line 2, field 2 (y): expected a number, found an empty field (if a "
              "spreadsheet padded the row with empty fields, remove the trailing commas)");

    dir.Write("big.csv", "h\n40000\n0x10\n");
    TextReader b(dir.Path(), "big.csv");
    b.ReadLine();
    EXPECT_EQ(MessageOf([&] { b.ReadInteger("NSV"); }),
              "file \"big.csv\", line 2, field 1 (NSV): expected a whole number from -32768 to 32767, "
              "found \"40000\"");
    EXPECT_EQ(MessageOf([&] { b.ReadDouble("x"); }),
              "file \"big.csv\", line 3, field 1 (x): expected a number, found \"0x10\"");

    EXPECT_NE(MessageOf([&] { TextReader missing(dir.Path(), "nothere.csv"); }).find(
                  "cannot open input file \"nothere.csv\""),
              std::string::npos);
}

TEST(TextWriter, ItemsWithoutSeparatorsAndCrLf) {
    TempDir dir;
    {
        TextWriter out(dir.Path(), "r.csv");
        out.Text("Time").Text(",").Double(0.5).Text(",").Single(0.1f).Text(",").Integer(-3).EndLine();
        out.Text("x").EndLine();
        out.Close();
    }
    EXPECT_EQ(dir.Read("r.csv"), "Time, .5 , .1 ,-3 \r\nx\r\n");
}

TEST(FileNames, WritingReplacesATwinInAnotherCase) {
    TempDir dir;
    dir.Write("initial.csv", "old");
    {
        TextWriter out(dir.Path(), "INITIAL.CSV");
        out.Text("new").EndLine();
    }
    EXPECT_FALSE(dir.Exists("initial.csv"));
    EXPECT_EQ(dir.Read("INITIAL.CSV"), "new\r\n");
    EXPECT_EQ(textio::FindFile(dir.Path(), "Initial.Csv").filename(), "INITIAL.CSV");
}

TEST(FileNames, DeletingByPatternIgnoresCase) {
    TempDir dir;
    dir.Write("x.DNG", "");
    dir.Write("Error.dng", "");
    dir.Write("keep.csv", "");
    dir.Write("dng", "");
    EXPECT_EQ(textio::DeleteMatching(dir.Path(), "*.dng"), 2);
    EXPECT_FALSE(dir.Exists("x.DNG"));
    EXPECT_FALSE(dir.Exists("Error.dng"));
    EXPECT_TRUE(dir.Exists("keep.csv"));
    EXPECT_TRUE(dir.Exists("dng"));
    EXPECT_EQ(textio::DeleteMatching(dir.Path(), "*.dng"), 0);
}

// Input as spreadsheets write it: a byte-order mark is skipped, with or
// without a header line; what cannot be read is quoted visibly.
TEST(TextReader, SpreadsheetHabits) {
    struct Case {
        const char* content;
        bool header;
        const char* message;  // "" when the first value reads as 1
    } cases[] = {
        {"\xEF\xBB\xBFh,x\n1\n", true, ""},
        {"\xEF\xBB\xBF-0.5\n", false, ""},
        {"h\n1;2;3\n", true,
         "file \"s.csv\", line 2, field 1 (v): expected a number, found \"1;2;3\"; fields are separated "
         "by commas, not semicolons"},
        {"h\n\xC2\xA0" "1\n", true,
         "file \"s.csv\", line 2, field 1 (v): expected a number, found \"<no-break space>1\""},
        {"h\n1\x01\n", true, "file \"s.csv\", line 2, field 1 (v): expected a number, found \"1<0x01>\""},
        {"h\n\xEF\xBB\xBF" "1\n", true,
         "file \"s.csv\", line 2, field 1 (v): expected a number, found \"<byte-order mark>1\""},
    };
    for (const Case& c : cases) {
        TextReader in = TextReader::FromContent("s.csv", c.content);
        if (c.header) in.ReadLine();
        if (*c.message == 0) {
            EXPECT_EQ(std::fabs(in.ReadDouble("v")), c.header ? 1 : 0.5) << c.content;
        } else {
            EXPECT_EQ(MessageOf([&] { in.ReadDouble("v"); }), c.message);
        }
    }
}

TEST(TextReader, APositionCanBeReturnedTo) {
    TextReader in = TextReader::FromContent("p.csv", "h\n1,2\n3,4\n");
    in.ReadLine();
    EXPECT_EQ(in.ReadInteger("a"), 1);
    const TextReader::Position at = in.Save();
    EXPECT_EQ(in.ReadInteger("b"), 2);
    EXPECT_EQ(in.ReadInteger("c"), 3);
    in.Restore(at);
    EXPECT_EQ(in.ReadInteger("b"), 2);
    EXPECT_EQ(in.Line(), 2);
    EXPECT_EQ(in.ReadLine(), "3,4");  // line 2 is used up
}

}  // namespace
