// number_mutations.cpp -- mutations of the numbers of a table that move its
// matrix towards the edges of the linear solvers.
//
// Exports (number_mutations.h): MutateNumbers.
#include "support/number_mutations.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace ostra::fuzz {
namespace {

struct Row {
    std::vector<std::string> fields;
    std::vector<std::size_t> values;  // fields that are values to mutate
};

bool ReadNumber(const std::string& field, double& value) {
    const std::size_t b = field.find_first_not_of(" \t\"\r");
    const std::size_t e = field.find_last_not_of(" \t\"\r");
    if (b == std::string::npos) return false;
    const std::string t = field.substr(b, e - b + 1);
    char* end = nullptr;
    value = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && std::isfinite(value);
}

std::string Write(double v) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17G", v);
    return buffer;
}

std::vector<Row> Parse(const std::string& table, bool valuesOnly) {
    std::vector<Row> rows;
    std::size_t start = 0;
    while (start <= table.size()) {
        std::size_t nl = table.find('\n', start);
        if (nl == std::string::npos) nl = table.size();
        Row row;
        const std::string line = table.substr(start, nl - start);
        std::size_t f = 0;
        while (true) {
            const std::size_t comma = line.find(',', f);
            row.fields.push_back(line.substr(f, comma == std::string::npos ? std::string::npos : comma - f));
            if (comma == std::string::npos) break;
            f = comma + 1;
        }
        for (std::size_t i = 0; i < row.fields.size(); ++i) {
            double v = 0;
            if (!ReadNumber(row.fields[i], v)) continue;
            if (valuesOnly && v == std::floor(v) && std::fabs(v) < 100) continue;
            row.values.push_back(i);
        }
        rows.push_back(row);
        start = nl + 1;
    }
    return rows;
}

std::string Join(const std::vector<Row>& rows) {
    std::string out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r > 0) out += '\n';
        for (std::size_t i = 0; i < rows[r].fields.size(); ++i) {
            if (i > 0) out += ',';
            out += rows[r].fields[i];
        }
    }
    return out;
}

double Value(const Row& row, std::size_t k) {
    double v = 0;
    ReadNumber(row.fields[row.values[k]], v);
    return v;
}

// Keeps a carriage return that ended the field's line.
void SetValue(Row& row, std::size_t k, double v) {
    std::string& field = row.fields[row.values[k]];
    const bool cr = !field.empty() && field.back() == '\r';
    field = Write(v) + (cr ? "\r" : "");
}

}  // namespace

std::string MutateNumbers(const std::string& table, bool valuesOnly, std::minstd_rand& random) {
    std::vector<Row> rows = Parse(table, valuesOnly);
    std::vector<std::size_t> withValues;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (!rows[r].values.empty()) withValues.push_back(r);
    if (withValues.empty()) return table;
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    auto power = [&](int lo, int hi) { return std::pow(10.0, lo + static_cast<int>(pick(static_cast<std::size_t>(hi - lo + 1)))); };
    Row& target = rows[withValues[pick(withValues.size())]];
    const std::size_t width = target.values.size();
    // The other rows as wide as the target: rows of the same matrix.
    std::vector<std::size_t> alike;
    for (std::size_t r : withValues)
        if (&rows[r] != &target && rows[r].values.size() == width) alike.push_back(r);
    const std::size_t k = pick(width);
    const double sign = pick(2) ? 1.0 : -1.0;
    switch (pick(10)) {
        case 0:  // a row scaled by a power of ten
        {
            const double f = power(-15, 15);
            for (std::size_t i = 0; i < width; ++i) SetValue(target, i, Value(target, i) * f);
            break;
        }
        case 1:  // a column scaled by a power of ten
        {
            const double f = power(-15, 15);
            for (std::size_t r : withValues)
                if (rows[r].values.size() == width) SetValue(rows[r], k, Value(rows[r], k) * f);
            break;
        }
        case 2:  // a row made a combination of two others: singular
        {
            if (alike.empty()) break;
            const Row& a = rows[alike[pick(alike.size())]];
            const Row& b = rows[alike[pick(alike.size())]];
            const double ca = sign * (1 + static_cast<double>(pick(4))), cb = power(-3, 3) * (pick(2) ? 1 : -1);
            for (std::size_t i = 0; i < width; ++i) SetValue(target, i, ca * Value(a, i) + cb * Value(b, i));
            break;
        }
        case 3:  // a row a copy of another times 1 + 10^-m: close to singular
        {
            if (alike.empty()) break;
            const Row& a = rows[alike[pick(alike.size())]];
            const double f = 1 + sign * power(-16, -4);
            for (std::size_t i = 0; i < width; ++i) SetValue(target, i, Value(a, i) * f);
            break;
        }
        case 4:  // an entry set to 0
            SetValue(target, k, 0);
            break;
        case 5:  // a row set to 0
            for (std::size_t i = 0; i < width; ++i) SetValue(target, i, 0);
            break;
        case 6:  // a column set to 0
            for (std::size_t r : withValues)
                if (rows[r].values.size() == width) SetValue(rows[r], k, 0);
            break;
        case 7:  // an entry set to a power of ten
            SetValue(target, k, sign * power(-20, 20));
            break;
        case 8:  // an entry nudged in its last digits
            SetValue(target, k, Value(target, k) * (1 + sign * power(-16, -9)));
            break;
        default:  // two rows swapped
        {
            if (alike.empty()) break;
            Row& other = rows[alike[pick(alike.size())]];
            for (std::size_t i = 0; i < width; ++i) {
                const double v = Value(target, i);
                SetValue(target, i, Value(other, i));
                SetValue(other, i, v);
            }
            break;
        }
    }
    return Join(rows);
}

}  // namespace ostra::fuzz
