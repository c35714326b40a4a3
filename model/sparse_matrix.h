// sparse_matrix.h -- square matrices that hold only the elements a model gives them.
//
// Exports: SparseMat<T>, DSparse, SSparse, SparseMat<T>::Entry.
//
// The coefficient matrix of a compartment model couples each equation with
// the equations of its neighbours only, so a row holds a handful of elements
// however many equations there are. A SparseMat keeps, for every row
// (1-based), the elements that were ever touched since the last Clear, sorted
// by column (1-based). An element that was never touched reads as +0, exactly
// what a zero-filled dense matrix holds there. Adding to an element creates it
// at +0 first, so a sequence of additions gives the bits a dense matrix
// would give. Row sums that walk Row(i) therefore take their terms in
// column order, as the dense loops do.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "model/arrays.h"

namespace ostra {

template <class T>
class SparseMat {
public:
    struct Entry {
        int col;
        T value;
    };
    using RowEntries = std::vector<Entry>;

    SparseMat() = default;
    explicit SparseMat(int n, const char* name = "matrix") : name_(name) { Resize(n); }

    // n x n with no elements (every element reads 0).
    void Resize(int n) {
        n_ = n < 0 ? 0 : n;
        rows_.assign(static_cast<std::size_t>(n_) + 1, RowEntries{});
    }
    void Resize(int n, const char* name) {
        name_ = name;
        Resize(n);
    }
    // Empties every row; the rows keep their storage for the next assembly.
    void Clear() {
        for (RowEntries& r : rows_) r.clear();
    }

    int Rows() const { return n_; }
    int Cols() const { return n_; }
    const char* Name() const { return name_; }

    // Element (i, j), created at +0 when absent. Checked indices.
    T& At(int i, int j) {
        Check(i, j);
        RowEntries& r = rows_[static_cast<std::size_t>(i)];
        if (r.empty() || r.back().col < j) {
            r.push_back({j, T{}});
            return r.back().value;
        }
        auto it = Find(r, j);
        if (it != r.end() && it->col == j) return it->value;
        return r.insert(it, Entry{j, T{}})->value;
    }
    // Adds `value` to element (i, j): the element is created at +0 first.
    void Add(int i, int j, T value) {
        T& e = At(i, j);
        e = e + value;
    }
    // Element (i, j); +0 when the row holds none there.
    T Get(int i, int j) const {
        Check(i, j);
        const RowEntries& r = rows_[static_cast<std::size_t>(i)];
        auto it = Find(r, j);
        return (it != r.end() && it->col == j) ? it->value : T{};
    }
    T operator()(int i, int j) const { return Get(i, j); }

    // The elements of row i in column order.
    const RowEntries& Row(int i) const {
        Check(i, 1);
        return rows_[static_cast<std::size_t>(i)];
    }
    RowEntries& MutableRow(int i) {
        Check(i, 1);
        return rows_[static_cast<std::size_t>(i)];
    }

    std::size_t NonZeros() const {
        std::size_t n = 0;
        for (const RowEntries& r : rows_) n += r.size();
        return n;
    }

    // True when both hold the same elements, bit for bit (a stored zero and
    // an absent element count as different).
    bool SameAs(const SparseMat& other) const {
        if (n_ != other.n_) return false;
        for (int i = 1; i <= n_; ++i) {
            const RowEntries& a = rows_[static_cast<std::size_t>(i)];
            const RowEntries& b = other.rows_[static_cast<std::size_t>(i)];
            if (a.size() != b.size()) return false;
            for (std::size_t k = 0; k < a.size(); ++k)
                if (a[k].col != b[k].col || std::memcmp(&a[k].value, &b[k].value, sizeof(T)) != 0)
                    return false;
        }
        return true;
    }

private:
    static auto Find(const RowEntries& r, int j) {
        return std::lower_bound(r.begin(), r.end(), j,
                                [](const Entry& e, int col) { return e.col < col; });
    }
    static auto Find(RowEntries& r, int j) {
        return std::lower_bound(r.begin(), r.end(), j,
                                [](const Entry& e, int col) { return e.col < col; });
    }
    void Check(int i, int j) const {
        if (i < 1 || i > n_ || j < 1 || j > n_) IndexFault(name_, i, j, n_, n_);
    }

    const char* name_ = "matrix";
    int n_ = 0;
    std::vector<RowEntries> rows_ = std::vector<RowEntries>(1);
};

using DSparse = SparseMat<Double>;
using SSparse = SparseMat<Single>;

}  // namespace ostra
