// chart_pages_test.cpp -- the time series' value-axis title names what is drawn.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window/chart_pages.h"

namespace ostra::window {
namespace {

std::vector<QString> Headers(std::initializer_list<const char*> texts) {
    std::vector<QString> headers;
    for (const char* t : texts) headers.emplace_back(t);
    return headers;
}

TEST(ValueAxisTitle, NamesTheQuantityAndTheStateVariablesOrEquationsDrawn) {
    const auto all = Headers({"SV 1 in Compartment 2", "SV 1 in Compartment 3", "SV 2 in Compartment 2",
                              "SV 3 in Compartment 2", "SV 5 in Compartment 2"});
    const auto one = Headers({"SV  1", "SV  2", "SV  3"});  // "OneCompTimeSeries.csv"
    const auto equations = Headers({"Equation 1", "Equation 2", "Equation 3", "Equation 4", "Equation 6"});
    const auto other = Headers({"a", "SV 1 in Compartment 2"});
    struct Case {
        const std::vector<QString>& headers;
        std::vector<int> picked;
        std::string title;
    };
    const std::vector<Case> cases = {
        {all, {1, 2}, "Concentration of state variable 1"},
        {all, {1, 3}, "Concentration of state variables 1 and 2"},
        {all, {3, 1, 4}, "Concentration of state variables 1–3"},
        {all, {1, 4, 5}, "Concentration of state variables 1, 3 and 5"},
        {all, {}, "Concentration"},
        {one, {2}, "Concentration of state variable 2"},
        {equations, {1, 2, 3, 5}, "Value of equations 1–3 and 6"},
        {equations, {1, 2, 3, 4, 5}, "Value of equations 1–4 and 6"},
        {equations, {4}, "Value of equation 4"},
        {other, {1, 2}, "a, SV 1 in Compartment 2"},  // a layout of its own: the columns
    };
    for (const Case& c : cases) EXPECT_EQ(ValueAxisTitle(c.headers, c.picked).toStdString(), c.title) << c.title;

    // Many equations are left to the legend.
    std::vector<QString> many;
    std::vector<int> picked;
    for (int k = 1; k <= 40; k += 2) {
        many.push_back(QString("Equation %1").arg(k));
        picked.push_back(static_cast<int>(many.size()));
    }
    EXPECT_EQ(ValueAxisTitle(many, picked).toStdString(), "Value");
}

}  // namespace
}  // namespace ostra::window
