// results_view.h -- the results of a finished run, one page per result file.
//
// Exports: ResultsView.
//
// Reads the result files a run has written and puts each on its page: the
// time series, the profile snapshot and the mass balance. A file that is
// missing, cannot be read or is malformed gets no page; what happened to each
// file is returned as lines for the window's message pane.
#pragma once

#include <QTabWidget>

#include <filesystem>
#include <string>
#include <vector>

class QLabel;

namespace ostra::window {

class TimeSeriesPage;
class ProfilePage;
class MassBalancePage;

class ResultsView : public QTabWidget {
public:
    explicit ResultsView(QWidget* parent = nullptr);

    // Shows the given result files; returns one line per file.
    std::vector<std::string> ShowResults(const std::vector<std::filesystem::path>& files);

    // Replaces the pages by a line of text (before a run, or when nothing can be drawn).
    void ShowPlaceholder(const QString& text);

private:
    QLabel* placeholder_;
    TimeSeriesPage* timeSeries_;
    ProfilePage* profile_;
    MassBalancePage* massBalance_;
};

}  // namespace ostra::window
