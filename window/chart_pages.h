// chart_pages.h -- the charts of a run's concentrations.
//
// Exports: TimeSeriesPage, ProfilePage, ValueAxisTitle.
//
// TimeSeriesPage draws "AllTimeSeries.csv" or "OneCompTimeSeries.csv": a
// list of the value columns (by their header text) beside a line chart of
// the ticked columns against the first column. ProfilePage draws
// "ProfileSnapshot.csv": the concentration against each compartment's X,
// one series per state variable (in equation-solver mode, the value against
// the equation number). The time series' value axis is titled by what is
// drawn ("Concentration of state variables 1 and 2", "Value of equations
// 1–3"); the other axis titles are the files' own header texts. Both charts
// follow the size of the window.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

#include "window/result_file.h"

class QChart;
class QChartView;
class QListWidget;
class QListWidgetItem;
class QValueAxis;

namespace ostra::window {

// The value-axis title of a time series whose value columns have the
// `headers` (column 1 first) when the 1-based columns `picked` are drawn.
QString ValueAxisTitle(const std::vector<QString>& headers, const std::vector<int>& picked);

class TimeSeriesPage : public QWidget {
public:
    explicit TimeSeriesPage(QWidget* parent = nullptr);

    // Shows `table` (read from the file `name`); the first columns are ticked.
    void SetTable(const ResultTable& table, const std::string& name);

    // Ticks exactly the value columns whose 1-based numbers are given.
    void Pick(const std::vector<int>& columns);

private:
    void Redraw();

    ResultTable table_;
    QListWidget* columns_;
    QChartView* view_;
    QChart* chart_;
    QValueAxis* axisX_;
    QValueAxis* axisY_;
    bool updating_ = false;
};

class ProfilePage : public QWidget {
public:
    explicit ProfilePage(QWidget* parent = nullptr);

    // Shows `table`; returns "" or why the file's layout cannot be drawn.
    std::string SetTable(const ResultTable& table, const std::string& name);

private:
    QChartView* view_;
    QChart* chart_;
    QValueAxis* axisX_;
    QValueAxis* axisY_;
};

}  // namespace ostra::window
