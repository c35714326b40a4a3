// window_test.cpp -- the window driven as a user drives it: start, run, boxes,
// prompts, fatal errors, Newton counters, results, refusing and closing.
#include <gtest/gtest.h>

#include <QChart>
#include <QChartView>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QValueAxis>

#include <set>

#include "app/compartment_model_files.h"
#include "app/run_driver.h"
#include "model/constants.h"
#include "model/error.h"
#include "support/test_support.h"
#include "window/main_window.h"
#include "window/window_harness.h"

namespace ostra::window {
namespace {

namespace fs = std::filesystem;
using ostra::testing::ParseCsvRows;
using ostra::testing::TempDir;
using ostra::testing::TestState;
using testing::Counter;
using testing::DialogAnswerer;
using testing::Messages;
using testing::RunButton;
using testing::SaveScreenshot;
using testing::WaitUntil;

const QString WIGGLE_PROMPT = "Positivity/wiggle criterion violated.  Enter 'C' if you want to continue anyway.";

// The counters a run of `dir` leaves on a recording display.
std::array<std::string, 6> ReferenceCounters(const fs::path& dir) {
    TestState t(dir);
    FormLoad(t.s);
    EXPECT_EQ(RunOstraClick(t.s), EXIT_DONE);
    std::array<std::string, 6> texts;
    for (int k = 1; k <= 5; ++k) texts[k] = t.display.counters[k];
    return texts;
}

void ShowWindow(MainWindow& w) {
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
}

// Clicks the run button and waits for the run to end.
void RunToTheEnd(MainWindow& w) {
    QTest::mouseClick(RunButton(w), Qt::LeftButton);
    ASSERT_TRUE(w.RunActive());
    ASSERT_TRUE(WaitUntil([&] { return !w.RunActive(); }, 120000));
}

QList<QPointF> Points(QAbstractSeries* series) { return qobject_cast<QLineSeries*>(series)->points(); }

QString AxisTitle(QChart* chart, Qt::Orientation o) { return chart->axes(o).at(0)->titleText(); }

QLabel* EarlyEndLine(MainWindow& w) { return w.findChild<QLabel*>("runEndedEarly"); }

// A dynamic equation-solver run whose one unknown grows a thousandfold per
// implicit-Euler step until it overflows: a fatal error after 102 rows.
void WriteOverflowingEquation(const fs::path& dir) {
    ostra::testing::ControlFile control;
    control.mode = "EQNS";
    control.NEQN = 1;
    control.NumTimeSteps = "500";
    ostra::testing::WriteModelFile(dir, "Control.csv", control.Text());
    ostra::testing::WriteModelFile(dir, "AEqnSolver.csv", ".999\n");
    ostra::testing::WriteModelFile(dir, "BEqnSolver.csv", "0\n");
    ostra::testing::WriteModelFile(dir, "RVEqnSolver.csv", "1\n");
    ostra::testing::WriteModelFile(dir, "InitialEqnSolver.csv", "1\n");
}

TEST(Window, StartsWithItsCaptionHiddenCountersAndTheRunButton) {
    TempDir dir;
    testing::CopyExample("river-network", dir.Path());
    MainWindow w(dir.Path());
    ShowWindow(w);
    EXPECT_EQ(w.windowTitle(), "Ostra V 1.0");
    const char* labels[] = {"", "Time Step Counter", "Newton Iteration Counter", "f-value",
                            "Randomizing Iteration Counter", "Lambda "};
    for (int k = 1; k <= 5; ++k) {
        ASSERT_NE(Counter(w, k), nullptr) << k;
        EXPECT_FALSE(Counter(w, k)->isVisible()) << k;
        EXPECT_TRUE(Counter(w, k)->isReadOnly()) << k;
        EXPECT_EQ(Counter(w, k)->text(), labels[k]);
    }
    EXPECT_TRUE(RunButton(w)->isVisible());
    EXPECT_EQ(w.findChild<QLineEdit*>("modelDirectory")->text().toStdString(), dir.Path().string());
    EXPECT_EQ(w.ExitStatus(), -1);
    SaveScreenshot(w, "start");
}

TEST(Window, RiverNetworkRunShowsItsCountersThenDrawsThePickedColumns) {
    TempDir reference, dir;
    testing::CopyExample("river-network", reference.Path());
    testing::CopyExample("river-network", dir.Path());
    const auto expected = ReferenceCounters(reference.Path());

    MainWindow w(dir.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    bool shownAtDone = false;
    answers.onDialog = [&](const testing::SeenDialog& d) {
        if (d.text != "Done!") return;
        shownAtDone = !RunButton(w)->isVisible();
        for (int k = 1; k <= 5; ++k) shownAtDone = shownAtDone && Counter(w, k)->isVisible();
    };
    int paints = 0;
    QObject::connect(Counter(w, 1), &QLineEdit::textChanged, [&] { ++paints; });
    QElapsedTimer clock;
    clock.start();
    RunToTheEnd(w);
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(w.ExitStatus(), EXIT_DONE);
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text, "Done!");
    EXPECT_TRUE(shownAtDone) << "counters shown and button hidden under the Done! box";
    EXPECT_FALSE(RunButton(w)->isVisible());
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(Counter(w, k)->text().toStdString(), expected[k]) << k;
    EXPECT_EQ(Counter(w, 1)->text(), "Time Step 240");
    // 240 steps, but the counter is painted at most 25 times a second.
    EXPECT_LE(paints, elapsed / 40 + 3) << elapsed << " ms";

    auto* tabs = w.findChild<QTabWidget*>("results");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->tabText(0), "Time series");
    EXPECT_EQ(tabs->tabText(1), "Mass balance");

    // The first eight columns are drawn; the user keeps two of them.
    QChart* chart = w.findChild<QChartView*>("timeSeriesChart")->chart();
    auto* columns = w.findChild<QListWidget*>("columns");
    ASSERT_EQ(columns->count(), 8);
    EXPECT_EQ(columns->item(0)->text(), "SV 1 in Compartment 2");
    EXPECT_EQ(columns->item(7)->text(), "SV 2 in Compartment 6");
    EXPECT_EQ(chart->series().size(), 8);
    for (int i = 0; i < columns->count(); ++i)
        columns->item(i)->setCheckState(i == 0 || i == 6 ? Qt::Checked : Qt::Unchecked);
    const QList<QAbstractSeries*> series = chart->series();
    ASSERT_EQ(series.size(), 2);
    EXPECT_EQ(series[0]->name(), "SV 1 in Compartment 2");
    EXPECT_EQ(series[1]->name(), "SV 2 in Compartment 5");
    EXPECT_EQ(AxisTitle(chart, Qt::Horizontal), "Time");
    EXPECT_EQ(AxisTitle(chart, Qt::Vertical), "Concentration of state variables 1 and 2");
    EXPECT_FALSE(EarlyEndLine(w)->isVisible()) << "the run finished";
    const auto rows = ParseCsvRows(dir.Read("AllTimeSeries.csv"));
    ASSERT_EQ(rows.size(), 240u);
    const QList<QPointF> first = Points(series[0]), seventh = Points(series[1]);
    ASSERT_EQ(first.size(), 240);
    ASSERT_EQ(seventh.size(), 240);
    for (int r = 0; r < 240; ++r) {
        ASSERT_EQ(first[r], QPointF(rows[r][0], rows[r][1])) << r;
        ASSERT_EQ(seventh[r], QPointF(rows[r][0], rows[r][7])) << r;
    }
    auto* yAxis = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).at(0));
    EXPECT_LE(yAxis->min(), 0.0);
    EXPECT_GE(yAxis->max(), 0.2);

    // The chart follows the window's size.
    w.resize(1000, 650);
    QTest::qWait(50);
    QChartView* view = w.findChild<QChartView*>("timeSeriesChart");
    EXPECT_EQ(chart->size().toSize(), view->viewport()->size());

    tabs->setCurrentIndex(1);
    auto* table = w.findChild<QTableWidget*>("massBalanceTable");
    ASSERT_EQ(table->rowCount(), 7);
    ASSERT_EQ(table->columnCount(), 2);
    EXPECT_EQ(table->verticalHeaderItem(0)->text(), "Initial");
    EXPECT_EQ(table->verticalHeaderItem(5)->text(), "Residual");
    EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "State Variable 2");
    EXPECT_EQ(table->item(0, 0)->text(), "50000");
    EXPECT_EQ(table->item(1, 0)->text(), "1614718.1556796");
    EXPECT_EQ(table->item(4, 1)->text(), "0");
    EXPECT_TRUE(w.findChild<QLabel*>("massBalancePercentage")->text().startsWith("Mass balance error across"));
    SaveScreenshot(w, "river-network-mass-balance");
    tabs->setCurrentIndex(0);
    for (int i = 0; i < columns->count(); ++i)
        columns->item(i)->setCheckState(i < 4 ? Qt::Checked : Qt::Unchecked);
    w.resize(1180, 760);
    QTest::qWait(50);
    SaveScreenshot(w, "river-network");
}

TEST(Window, SteadyRiverNetworkDrawsOneProfilePerStateVariable) {
    TempDir dir;
    testing::CopyExample("river-network-steady", dir.Path());
    dir.Write("AllTimeSeries.csv", "Time,SV 1 in Compartment 2 ,\r\n 1 , 5 ,\r\n");  // of an earlier run
    fs::last_write_time(dir.Path() / "AllTimeSeries.csv",
                        fs::file_time_type::clock::now() - std::chrono::hours(1));
    MainWindow w(dir.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    RunToTheEnd(w);
    EXPECT_EQ(w.ExitStatus(), EXIT_DONE);

    auto* tabs = w.findChild<QTabWidget*>("results");
    ASSERT_EQ(tabs->count(), 1) << "the older time series is not drawn";
    EXPECT_EQ(tabs->tabText(0), "Profile");
    QChart* chart = w.findChild<QChartView*>("profileChart")->chart();
    const QList<QAbstractSeries*> series = chart->series();
    ASSERT_EQ(series.size(), 2);
    EXPECT_EQ(series[0]->name(), "SV 1");
    EXPECT_EQ(series[1]->name(), "SV 2");
    EXPECT_EQ(AxisTitle(chart, Qt::Horizontal), "X");
    EXPECT_EQ(AxisTitle(chart, Qt::Vertical), "CONC");
    const auto rows = ParseCsvRows(dir.Read("ProfileSnapshot.csv"));
    for (int sv = 0; sv < 2; ++sv) {
        const QList<QPointF> points = Points(series[sv]);
        ASSERT_EQ(points.size(), 4);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(points[i], QPointF(rows[4 * sv + i][3], rows[4 * sv + i][6]));
    }
    EXPECT_EQ(Points(series[0])[2].x(), 3500);
    SaveScreenshot(w, "river-network-steady");
}

TEST(Window, PositivityPromptAnsweredCGoesOnAndAnsweredEmptyEndsTheRun) {
    for (const QString answer : {"c", ""}) {
        SCOPED_TRACE(answer.toStdString());
        TempDir dir;
        testing::WriteWiggleModel(dir.Path());
        MainWindow w(dir.Path());
        ShowWindow(w);
        DialogAnswerer answers;
        answers.inputs = {answer};
        RunToTheEnd(w);
        ASSERT_GE(answers.seen.size(), 1u);
        EXPECT_EQ(answers.seen[0].kind, "input");
        EXPECT_EQ(answers.seen[0].text, WIGGLE_PROMPT);
        if (answer == "c") {
            EXPECT_EQ(w.ExitStatus(), EXIT_DONE);
            EXPECT_EQ(answers.Count("Done!"), 1);
            EXPECT_EQ(Counter(w, 1)->text(), "Time Step 5");
            EXPECT_EQ(w.findChild<QChartView*>("timeSeriesChart")->chart()->series().size(), 1);
            SaveScreenshot(answers.seen[0].picture, "positivity-prompt");
            SaveScreenshot(w, "positivity-continued");
        } else {
            EXPECT_EQ(w.ExitStatus(), EXIT_USER_STOPPED);
            EXPECT_EQ(answers.seen.size(), 1u) << "no Done! after a declined prompt";
            EXPECT_EQ(Counter(w, 1)->text(), "Time Step 1");
            ASSERT_TRUE(EarlyEndLine(w)->isVisible());
            EXPECT_EQ(EarlyEndLine(w)->text(),
                      "The run ended early: the positivity/wiggle criterion was not accepted. "
                      "Its result files hold what it wrote until then.");
            EXPECT_TRUE(Messages(w).contains("\"AllTimeSeries.csv\" holds no rows; it is not drawn."))
                << Messages(w).toStdString();
            SaveScreenshot(w, "positivity-declined");
        }
    }
}

TEST(Window, AFatalErrorShowsErrorDngInItsBoxAndAboveTheRowsTheRunWrote) {
    for (const bool overflow : {false, true}) {
        SCOPED_TRACE(overflow ? "overflow after 102 steps" : "a word in AEqnSolver.csv");
        TempDir dir;
        if (overflow)
            WriteOverflowingEquation(dir.Path());
        else
            testing::WriteBrokenEquations(dir.Path());
        MainWindow w(dir.Path());
        ShowWindow(w);
        DialogAnswerer answers;
        RunToTheEnd(w);
        EXPECT_EQ(w.ExitStatus(), EXIT_FATAL_DATA);
        ASSERT_EQ(answers.seen.size(), 1u);
        EXPECT_EQ(answers.seen[0].text, FATAL_ERROR_BOX);
        std::string written = dir.Read("Error.dng");
        ASSERT_EQ(written.rfind("Error:  ", 0), 0u) << written;
        ASSERT_EQ(written.substr(written.size() - 2), "\r\n");
        written.resize(written.size() - 2);
        EXPECT_EQ(answers.seen[0].informative.toStdString(), written);
        EXPECT_TRUE(Messages(w).contains(QString::fromStdString(written)));
        ASSERT_TRUE(EarlyEndLine(w)->isVisible());
        EXPECT_EQ(EarlyEndLine(w)->text().toStdString(),
                  "The run ended early: " + written.substr(8) + " (see \"Error.dng\")." +
                      (overflow ? " Its result files hold what it wrote until then." : ""));
        if (!overflow) {
            EXPECT_NE(written.find("AEqnSolver.csv"), std::string::npos);
            SaveScreenshot(answers.seen[0].picture, "fatal-error-box");
            SaveScreenshot(w, "fatal-error");
            continue;
        }
        // What the run wrote before it ended is drawn, row for row.
        QChart* chart = w.findChild<QChartView*>("timeSeriesChart")->chart();
        ASSERT_EQ(chart->series().size(), 1);
        EXPECT_EQ(AxisTitle(chart, Qt::Vertical), "Value of equation 1");
        const auto rows = ParseCsvRows(dir.Read("AllTimeSeries.csv"));
        const QList<QPointF> points = Points(chart->series()[0]);
        ASSERT_GE(rows.size(), 102u);
        ASSERT_EQ(points.size(), 102);
        for (int r = 0; r < 102; ++r) ASSERT_EQ(points[r], QPointF(rows[r][0], rows[r][1])) << r;
        SaveScreenshot(w, "ended-early");
    }
}

TEST(Window, NewtonExampleFillsTheNewtonCountersAndDrawsItsEquations) {
    TempDir reference, dir;
    testing::CopyExample("quadratic-steady", reference.Path());
    testing::CopyExample("quadratic-steady", dir.Path());
    const auto expected = ReferenceCounters(reference.Path());
    EXPECT_EQ(expected[2].rfind("Newton Iteration ", 0), 0u) << expected[2];
    EXPECT_EQ(expected[3].rfind("f value = ", 0), 0u) << expected[3];
    EXPECT_EQ(expected[5].rfind("Lambda = ", 0), 0u) << expected[5];

    MainWindow w(dir.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    RunToTheEnd(w);
    EXPECT_EQ(w.ExitStatus(), EXIT_DONE);
    EXPECT_EQ(answers.Count("Done!"), 1);
    for (int k = 2; k <= 5; ++k) {
        EXPECT_TRUE(Counter(w, k)->isVisible()) << k;
        EXPECT_EQ(Counter(w, k)->text().toStdString(), expected[k]) << k;
    }
    QChart* chart = w.findChild<QChartView*>("profileChart")->chart();
    ASSERT_EQ(chart->series().size(), 1);
    const QList<QPointF> points = Points(chart->series()[0]);
    ASSERT_EQ(points.size(), 2);
    EXPECT_EQ(points[0].x(), 1);
    EXPECT_NEAR(points[0].y(), 0.6180340, 1e-6);
    EXPECT_NEAR(points[1].y(), 0.3595220, 1e-6);
    EXPECT_EQ(AxisTitle(chart, Qt::Horizontal), "VARIABLE");
    EXPECT_EQ(AxisTitle(chart, Qt::Vertical), "VALUE");
    SaveScreenshot(w, "newton-quadratic");
}

TEST(Window, NewtonGivingUpShowsEveryNewtonCounterAndItsBox) {
    // One iteration per cycle and one randomizing cycle: Newton cannot converge.
    TempDir dir;
    testing::CopyExample("quadratic-steady", dir.Path());
    testing::SetControlValue(dir.Path(), "MaxNewtonIteration,", "1,1,10");
    MainWindow w(dir.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    RunToTheEnd(w);
    EXPECT_EQ(w.ExitStatus(), EXIT_NEWTON_GAVE_UP);
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].text, "Newton Algorithm Terminated Due to Excessive Iterations");
    EXPECT_EQ(Counter(w, 2)->text(), "Newton Iteration 2");
    EXPECT_TRUE(Counter(w, 3)->text().startsWith("f value = ")) << Counter(w, 3)->text().toStdString();
    EXPECT_EQ(Counter(w, 4)->text(), "Randomizing Iteration 1");
    EXPECT_TRUE(Counter(w, 5)->text().startsWith("Lambda = ")) << Counter(w, 5)->text().toStdString();
    EXPECT_TRUE(Messages(w).contains("This run wrote no result file to draw."));
    EXPECT_EQ(EarlyEndLine(w)->text(), "The run ended early: Newton iteration gave up after all randomizing cycles.");
    SaveScreenshot(w, "newton-gave-up");
}

TEST(Window, RefusesADirectoryWithoutControlCsvAndRunsOneWithItInAnyCase) {
    TempDir empty;
    MainWindow w(empty.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    QTest::mouseClick(RunButton(w), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !answers.seen.empty(); }));
    EXPECT_TRUE(answers.seen[0].text.contains("holds no \"Control.csv\"")) << answers.seen[0].text.toStdString();
    EXPECT_FALSE(w.RunActive());
    EXPECT_TRUE(RunButton(w)->isVisible());
    EXPECT_FALSE(Counter(w, 1)->isVisible());
    EXPECT_TRUE(fs::is_empty(empty.Path())) << "nothing is written in a refused directory";
    SaveScreenshot(answers.seen[0].picture, "refused-box");

    TempDir model;
    testing::CopyExample("equation-solver", model.Path());
    fs::rename(model.Path() / "Control.csv", model.Path() / "control.CSV");
    answers.folders = {QString::fromStdString(model.Path().string())};
    QTest::mouseClick(w.findChild<QPushButton*>("choose"), Qt::LeftButton);
    ASSERT_EQ(answers.seen.size(), 2u);
    EXPECT_EQ(answers.seen[1].kind, "folder");
    SaveScreenshot(answers.seen[1].picture, "choose-folder");
    EXPECT_EQ(w.findChild<QLineEdit*>("modelDirectory")->text().toStdString(), model.Path().string());
    RunToTheEnd(w);
    EXPECT_EQ(w.ExitStatus(), EXIT_DONE);
    EXPECT_EQ(answers.Count("Done!"), 1);
    EXPECT_EQ(w.findChild<QListWidget*>("columns")->count(), 3);
    EXPECT_TRUE(fs::is_empty(empty.Path()));
    SaveScreenshot(w, "equation-solver");
}

TEST(Window, ATypedDirectoryIsCheckedAsAChosenOneIsAndRunsWithoutReturn) {
    TempDir empty, model;
    testing::CopyExample("equation-solver", model.Path());
    MainWindow w(empty.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    auto* field = w.findChild<QLineEdit*>("modelDirectory");
    ASSERT_FALSE(field->isReadOnly());
    const fs::path nowhere = model.Path() / "nowhere";
    field->selectAll();
    QTest::keyClicks(field, QString::fromStdString(nowhere.string()));
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(w.ModelDirectory(), nowhere);
    EXPECT_TRUE(Messages(w).contains(QString::fromStdString("\"" + nowhere.string() + "\" does not exist")))
        << Messages(w).toStdString();
    EXPECT_TRUE(answers.seen.empty()) << "a typed directory is only checked, as a chosen one is";

    // Typed, not confirmed with Return: the run button takes it.
    field->selectAll();
    QTest::keyClicks(field, QString::fromStdString(model.Path().string()));
    RunToTheEnd(w);
    EXPECT_EQ(w.ModelDirectory(), model.Path());
    EXPECT_EQ(w.ExitStatus(), EXIT_DONE);
    EXPECT_EQ(answers.Count("Done!"), 1);
    EXPECT_TRUE(field->isReadOnly()) << "the directory is fixed once the run has started";
    EXPECT_TRUE(fs::is_empty(empty.Path()));
}

TEST(Window, ClosingDuringARunAsksThenStopsItAndClosesWhenTheRunHasEnded) {
    TempDir dir;
    testing::CopyExample("river-network", dir.Path());
    testing::SetControlValue(dir.Path(), "Number of time steps", "1000000");
    MainWindow w(dir.Path());
    ShowWindow(w);
    DialogAnswerer answers;
    answers.questions = {false, true};
    QTest::mouseClick(RunButton(w), Qt::LeftButton);

    // The counter is repainted while the run goes on, and the window resizes.
    std::set<QString> steps;
    ASSERT_TRUE(WaitUntil([&] {
        steps.insert(Counter(w, 1)->text());
        return steps.size() >= 4;
    }));
    w.resize(1000, 640);
    QTest::qWait(30);
    EXPECT_EQ(w.size(), QSize(1000, 640));
    EXPECT_TRUE(w.RunActive());
    SaveScreenshot(w, "during-run");

    // While the question is open the run waits: its counter stands still.
    QString atQuestion, afterWaiting;
    bool activeMeanwhile = false;
    answers.onDialog = [&](const testing::SeenDialog& d) {
        if (d.kind != "question") return;
        QTest::qWait(100);  // the step under way when the question opened ends
        atQuestion = Counter(w, 1)->text();
        QTest::qWait(300);
        afterWaiting = Counter(w, 1)->text();
        activeMeanwhile = w.RunActive();
    };
    w.close();  // answered No: the run goes on
    ASSERT_EQ(answers.seen.size(), 1u);
    EXPECT_EQ(answers.seen[0].kind, "question");
    EXPECT_EQ(afterWaiting, atQuestion) << "the run went on behind the question";
    EXPECT_TRUE(activeMeanwhile);
    answers.onDialog = nullptr;
    EXPECT_TRUE(w.isVisible());
    const QString before = Counter(w, 1)->text();
    ASSERT_TRUE(WaitUntil([&] { return Counter(w, 1)->text() != before; }));
    EXPECT_TRUE(w.RunActive());

    w.close();  // answered Yes
    ASSERT_TRUE(WaitUntil([&] { return !w.RunActive() && !w.isVisible(); }));
    EXPECT_EQ(w.ExitStatus(), EXIT_FATAL_DATA);
    EXPECT_EQ(answers.seen.size(), 2u) << "no box of the stopped run is shown";
    EXPECT_EQ(dir.Read("Error.dng"), std::string("Error:  ") + STOPPED_BY_USER + "\r\n");
    EXPECT_FALSE(ParseCsvRows(dir.Read("AllTimeSeries.csv")).empty()) << "the rows written stay on disk";
}

}  // namespace
}  // namespace ostra::window
