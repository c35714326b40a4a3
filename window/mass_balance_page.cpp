// mass_balance_page.cpp -- the mass balance of each state variable and its percentage line.
#include "window/mass_balance_page.h"

#include <QHeaderView>
#include <QLabel>
#include <QStringList>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace ostra::window {

MassBalancePage::MassBalancePage(QWidget* parent) : QWidget(parent) {
    table_ = new QTableWidget(this);
    table_->setObjectName("massBalanceTable");
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setMinimumSectionSize(160);
    percentage_ = new QLabel(this);
    percentage_->setObjectName("massBalancePercentage");
    percentage_->setWordWrap(true);
    percentage_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addWidget(percentage_);
}

void MassBalancePage::SetTable(const ResultTable& table) {
    const int quantities = table.header.empty() ? 0 : static_cast<int>(table.header.size()) - 1;
    const int variables = static_cast<int>(table.rows.size());
    table_->clear();
    table_->setRowCount(quantities);
    table_->setColumnCount(variables);
    QStringList rowNames, columnNames;
    for (int q = 1; q <= quantities; ++q) rowNames << QString::fromStdString(table.header[static_cast<std::size_t>(q)]);
    const QString first = table.header.empty() ? QString() : QString::fromStdString(table.header[0]);
    for (const std::vector<double>& row : table.rows)
        columnNames << QString("%1 %2").arg(first).arg(std::lround(row[0]));
    table_->setVerticalHeaderLabels(rowNames);
    table_->setHorizontalHeaderLabels(columnNames);
    for (int v = 0; v < variables; ++v) {
        const std::vector<double>& row = table.rows[static_cast<std::size_t>(v)];
        for (int q = 1; q <= quantities; ++q) {
            auto* item = new QTableWidgetItem(QString::number(row[static_cast<std::size_t>(q)], 'g', 15));
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(q - 1, v, item);
        }
    }
    QStringList lines;
    for (const std::string& line : table.trailer) lines << QString::fromStdString(line);
    percentage_->setText(lines.join("\n"));
}

}  // namespace ostra::window
