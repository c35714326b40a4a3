// chart_pages.cpp -- line charts of time series and profiles.
#include "window/chart_pages.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLegend>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace ostra::window {
namespace {

// Columns ticked when a time series is first shown.
constexpr int FIRST_PICKED = 8;
// A y-axis title longer than this names the number of columns instead.
constexpr qsizetype LONGEST_AXIS_TITLE = 70;
// More numbers than this in a value-axis title are left to the legend.
constexpr std::size_t MOST_NUMBERS_IN_TITLE = 12;

QString Q(const std::string& s) { return QString::fromStdString(s); }

// One colour per column, kept when other columns are ticked or unticked.
QColor ColumnColour(int column) {
    static const QColor palette[] = {
        QColor(31, 119, 180), QColor(255, 127, 14), QColor(44, 160, 44),  QColor(214, 39, 40),
        QColor(148, 103, 189), QColor(140, 86, 75), QColor(227, 119, 194), QColor(127, 127, 127),
        QColor(188, 189, 34), QColor(23, 190, 207)};
    return palette[(column - 1) % (sizeof palette / sizeof palette[0])];
}

struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void Add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
};

// Sets the axis to cover the range with at most 8 round tick values; an
// empty or single-valued range still gets a span. `pad` keeps points off
// the frame (profiles, whose points sit at the ends).
void Fit(QValueAxis* axis, Range r, bool pad) {
    if (!(r.lo <= r.hi)) r = Range{0, 1};
    if (r.lo == r.hi) {
        const double half = r.lo == 0 ? 1 : std::fabs(r.lo) * 0.1;
        r.lo -= half;
        r.hi += half;
    } else if (pad) {
        const double margin = (r.hi - r.lo) * 0.04;
        r.lo -= margin;
        r.hi += margin;
    }
    const double raw = (r.hi - r.lo) / 7;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * magnitude;
    for (double m : {1.0, 2.0, 2.5, 5.0}) {
        if (m * magnitude >= raw) {
            step = m * magnitude;
            break;
        }
    }
    constexpr double TOLERANCE = 1e-9;  // quotients such as 0.3 / 0.1 are not whole in binary
    const double lo = std::floor(r.lo / step + TOLERANCE) * step;
    const double hi = std::ceil(r.hi / step - TOLERANCE) * step;
    axis->setRange(lo, hi);
    axis->setTickCount(static_cast<int>(std::lround((hi - lo) / step)) + 1);
}

// A chart view that owns its chart, with two value axes.
QChartView* NewChartView(QWidget* parent, QChart*& chart, QValueAxis*& x, QValueAxis*& y) {
    chart = new QChart();
    auto* view = new QChartView(chart, parent);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(4, 4, 4, 4));
    x = new QValueAxis(chart);
    y = new QValueAxis(chart);
    x->setLabelFormat("%.4g");
    y->setLabelFormat("%.4g");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

QLineSeries* AddSeries(QChart* chart, QValueAxis* x, QValueAxis* y, const QString& name, QList<QPointF> points) {
    auto* series = new QLineSeries(chart);
    series->setName(name);
    series->replace(points);
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    return series;
}

// What a time-series column holds, read from its header: the state variable of
// "SV 2 in Compartment 5" and "SV  2" (a concentration), or the equation of
// "Equation 3" (the value of an equation-solver unknown).
struct ColumnMeaning {
    enum Kind { OTHER, STATE_VARIABLE, EQUATION } kind = OTHER;
    long number = 0;
};

ColumnMeaning MeaningOf(const QString& header) {
    static const QRegularExpression sv("^SV\\s+(\\d+)(\\s+in\\s+Compartment\\s+\\d+)?$",
                                       QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression equation("^Equation\\s+(\\d+)$", QRegularExpression::CaseInsensitiveOption);
    const QString h = header.trimmed();
    if (const auto m = sv.match(h); m.hasMatch()) return {ColumnMeaning::STATE_VARIABLE, m.captured(1).toLong()};
    if (const auto m = equation.match(h); m.hasMatch()) return {ColumnMeaning::EQUATION, m.captured(1).toLong()};
    return {};
}

// Ascending numbers as "3", "1 and 2", "1, 2 and 4", runs of three or more as "1–5".
QString NumberList(const std::vector<long>& numbers) {
    QStringList parts;
    for (std::size_t i = 0; i < numbers.size();) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (j >= i + 2) {
            parts << QString("%1–%2").arg(numbers[i]).arg(numbers[j]);
        } else {
            for (std::size_t k = i; k <= j; ++k) parts << QString::number(numbers[k]);
        }
        i = j + 1;
    }
    if (parts.size() <= 1) return parts.join("");
    const QString last = parts.takeLast();
    return parts.join(", ") + " and " + last;
}

}  // namespace

QString ValueAxisTitle(const std::vector<QString>& headers, const std::vector<int>& picked) {
    // The kind of the file, from all its columns: concentrations or equation values.
    ColumnMeaning::Kind kind = ColumnMeaning::OTHER;
    for (const QString& h : headers) {
        const ColumnMeaning m = MeaningOf(h);
        if (m.kind == ColumnMeaning::OTHER || (kind != ColumnMeaning::OTHER && m.kind != kind)) {
            kind = ColumnMeaning::OTHER;
            break;
        }
        kind = m.kind;
    }
    QStringList names;
    std::vector<long> numbers;
    for (int k : picked) {
        names << headers[static_cast<std::size_t>(k - 1)];
        numbers.push_back(MeaningOf(headers[static_cast<std::size_t>(k - 1)]).number);
    }
    if (kind == ColumnMeaning::OTHER) {
        // Headers of another layout: the columns themselves.
        const QString title = names.join(", ");
        return title.size() > LONGEST_AXIS_TITLE ? QString("%1 columns (see the legend)").arg(names.size()) : title;
    }
    const bool sv = kind == ColumnMeaning::STATE_VARIABLE;
    QString title = sv ? "Concentration" : "Value";
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty() || numbers.size() > MOST_NUMBERS_IN_TITLE) return title;
    const QString what = sv ? (numbers.size() == 1 ? "state variable" : "state variables")
                            : (numbers.size() == 1 ? "equation" : "equations");
    return title + " of " + what + " " + NumberList(numbers);
}

TimeSeriesPage::TimeSeriesPage(QWidget* parent) : QWidget(parent) {
    auto* list = new QWidget(this);
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    columns_ = new QListWidget(list);
    columns_->setObjectName("columns");
    auto* buttons = new QHBoxLayout();
    auto* all = new QPushButton("All", list);
    auto* none = new QPushButton("None", list);
    buttons->addWidget(all);
    buttons->addWidget(none);
    listLayout->addWidget(columns_);
    listLayout->addLayout(buttons);

    view_ = NewChartView(this, chart_, axisX_, axisY_);
    view_->setObjectName("timeSeriesChart");

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(list);
    split->addWidget(view_);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 730});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    connect(columns_, &QListWidget::itemChanged, this, [this] {
        if (!updating_) Redraw();
    });
    connect(all, &QPushButton::clicked, this, [this] {
        std::vector<int> every;
        for (int k = 1; k <= columns_->count(); ++k) every.push_back(k);
        Pick(every);
    });
    connect(none, &QPushButton::clicked, this, [this] { Pick({}); });
}

void TimeSeriesPage::SetTable(const ResultTable& table, const std::string& name) {
    table_ = table;
    chart_->setTitle(Q(name));
    axisX_->setTitleText(table_.header.empty() ? QString() : Q(table_.header[0]));
    updating_ = true;
    columns_->clear();
    for (std::size_t k = 1; k < table_.header.size(); ++k) {
        auto* item = new QListWidgetItem(Q(table_.header[k]), columns_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
        item->setCheckState(static_cast<int>(k) <= FIRST_PICKED ? Qt::Checked : Qt::Unchecked);
        item->setForeground(ColumnColour(static_cast<int>(k)));
    }
    updating_ = false;
    Redraw();
}

void TimeSeriesPage::Pick(const std::vector<int>& picked) {
    updating_ = true;
    for (int k = 1; k <= columns_->count(); ++k) {
        const bool on = std::find(picked.begin(), picked.end(), k) != picked.end();
        columns_->item(k - 1)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    updating_ = false;
    Redraw();
}

void TimeSeriesPage::Redraw() {
    chart_->removeAllSeries();
    Range xr, yr;
    std::vector<int> picked;
    for (int k = 1; k <= columns_->count(); ++k) {
        if (columns_->item(k - 1)->checkState() != Qt::Checked) continue;
        picked.push_back(k);
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(table_.rows.size()));
        for (const std::vector<double>& row : table_.rows) {
            points.append(QPointF(row[0], row[k]));
            xr.Add(row[0]);
            yr.Add(row[k]);
        }
        QLineSeries* series = AddSeries(chart_, axisX_, axisY_, Q(table_.header[k]), points);
        series->setColor(ColumnColour(k));
    }
    if (picked.empty()) {
        for (const std::vector<double>& row : table_.rows) xr.Add(row[0]);
    }
    std::vector<QString> headers;
    for (std::size_t k = 1; k < table_.header.size(); ++k) headers.push_back(Q(table_.header[k]));
    axisY_->setTitleText(ValueAxisTitle(headers, picked));
    Fit(axisX_, xr, false);
    Fit(axisY_, yr, false);
}

ProfilePage::ProfilePage(QWidget* parent) : QWidget(parent) {
    view_ = NewChartView(this, chart_, axisX_, axisY_);
    view_->setObjectName("profileChart");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

std::string ProfilePage::SetTable(const ResultTable& table, const std::string& name) {
    // Compartment mode: TIME,VARIABLE,Compartment,X,Y,Z,CONC; equation mode: TIME,VARIABLE,VALUE.
    const std::size_t columns = table.header.size();
    if (columns != 7 && columns != 3)
        return "\"" + name + "\" has " + std::to_string(columns) + " columns; a profile has 7 (or 3)";
    const bool compartments = columns == 7;
    const std::size_t xCol = compartments ? 3 : 1, yCol = compartments ? 6 : 2;

    chart_->removeAllSeries();
    std::map<long, QList<QPointF>> bySV;
    Range xr, yr;
    for (const std::vector<double>& row : table.rows) {
        const long sv = compartments ? std::lround(row[1]) : 0;
        bySV[sv].append(QPointF(row[xCol], row[yCol]));
        xr.Add(row[xCol]);
        yr.Add(row[yCol]);
    }
    for (auto& [sv, points] : bySV) {
        std::stable_sort(points.begin(), points.end(),
                         [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        const QString seriesName = compartments ? QString("SV %1").arg(sv) : Q(table.header[yCol]);
        QLineSeries* series = AddSeries(chart_, axisX_, axisY_, seriesName, points);
        series->setPointsVisible(true);
        series->setColor(ColumnColour(static_cast<int>(compartments ? sv : 1)));
    }
    const double time = table.rows.empty() ? 0 : table.rows[0][0];
    chart_->setTitle(Q(name) + (time == -999 ? QString(" (steady state)") : QString(" at %1 %2").arg(Q(table.header[0])).arg(time, 0, 'g', 15)));
    axisX_->setTitleText(Q(table.header[xCol]));
    axisY_->setTitleText(Q(table.header[yCol]));
    Fit(axisX_, xr, true);
    Fit(axisY_, yr, false);
    return "";
}

}  // namespace ostra::window
