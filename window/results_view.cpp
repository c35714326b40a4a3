// results_view.cpp -- routes each result file to its page.
#include "window/results_view.h"

#include <QLabel>

#include <algorithm>
#include <cctype>

#include "window/chart_pages.h"
#include "window/mass_balance_page.h"
#include "window/result_file.h"

namespace ostra::window {
namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return s;
}

std::string Size(const ResultTable& t) {
    return std::to_string(t.rows.size()) + (t.rows.size() == 1 ? " row" : " rows") + " of " +
           std::to_string(t.header.size()) + " columns";
}

}  // namespace

ResultsView::ResultsView(QWidget* parent) : QTabWidget(parent) {
    setObjectName("results");
    placeholder_ = new QLabel(this);
    placeholder_->setAlignment(Qt::AlignCenter);
    placeholder_->setWordWrap(true);
    timeSeries_ = new TimeSeriesPage(this);
    profile_ = new ProfilePage(this);
    massBalance_ = new MassBalancePage(this);
    timeSeries_->hide();
    profile_->hide();
    massBalance_->hide();
    ShowPlaceholder("The results are drawn here when the run has finished.");
}

void ResultsView::ShowPlaceholder(const QString& text) {
    while (count() > 0) removeTab(0);
    placeholder_->setText(text);
    addTab(placeholder_, "Results");
}

std::vector<std::string> ResultsView::ShowResults(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> lines;
    struct Page {
        QWidget* widget;
        QString title;
    };
    std::vector<Page> pages;
    for (const std::filesystem::path& path : files) {
        const std::string name = path.filename().string();
        const std::string key = Lower(name);
        ResultRead read = ReadResult(path);
        if (!read.table) {
            lines.push_back(read.problem + "; it is not drawn.");
            continue;
        }
        const ResultTable& table = *read.table;
        if (table.rows.empty()) {
            lines.push_back("\"" + name + "\" holds no rows; it is not drawn.");
            continue;
        }
        if (key == "alltimeseries.csv" || key == "onecomptimeseries.csv") {
            if (std::any_of(pages.begin(), pages.end(), [&](const Page& p) { return p.widget == timeSeries_; })) {
                lines.push_back("\"" + name + "\" is a second time series; only the first is drawn.");
                continue;
            }
            timeSeries_->SetTable(table, name);
            pages.push_back({timeSeries_, "Time series"});
        } else if (key == "profilesnapshot.csv") {
            const std::string problem = profile_->SetTable(table, name);
            if (!problem.empty()) {
                lines.push_back(problem + "; it is not drawn.");
                continue;
            }
            pages.push_back({profile_, "Profile"});
        } else if (key == "massbalance.csv") {
            massBalance_->SetTable(table);
            pages.push_back({massBalance_, "Mass balance"});
        } else {
            lines.push_back("\"" + name + "\" is not a result file the window draws.");
            continue;
        }
        lines.push_back("\"" + name + "\": " + Size(table) + ".");
    }
    if (pages.empty()) {
        ShowPlaceholder("This run left no results to draw; see the messages below.");
        return lines;
    }
    while (count() > 0) removeTab(0);
    for (const Page& page : pages) addTab(page.widget, page.title);
    setCurrentIndex(0);
    return lines;
}

}  // namespace ostra::window
