// mass_balance_page.h -- "MassBalance.csv" as a table.
//
// Exports: MassBalancePage.
//
// The account of each state variable reads down a column: one row per
// quantity of the file's header (Initial, In, Transport Out, ...), one
// column per state variable, and the percentage line of the file beneath.
#pragma once

#include <QWidget>

#include "window/result_file.h"

class QLabel;
class QTableWidget;

namespace ostra::window {

class MassBalancePage : public QWidget {
public:
    explicit MassBalancePage(QWidget* parent = nullptr);

    // Shows the rows of the file and the text lines after them.
    void SetTable(const ResultTable& table);

private:
    QTableWidget* table_;
    QLabel* percentage_;
};

}  // namespace ostra::window
