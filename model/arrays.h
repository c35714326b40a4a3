// arrays.h -- dense 1-based vectors and matrices with checked indices.
//
// Exports: Vec<T>, Mat<T>, and the aliases DVector, SVector, IVector,
// DMatrix, SMatrix, IMatrix; OneTo; RoundToInteger; CheckedInteger.
//
// Vectors are indexed 1..Size(); matrices (row, col) with 1..Rows() and
// 1..Cols(), stored contiguously row by row. An index outside the range
// throws textio::DataError naming the array and the index, so a fault ends
// the run with a message instead of undefined behaviour. Inner loops that
// have checked their ranges once may use Row(i)[j] (j = 1..Cols()) unchecked.
#pragma once

#include <string>
#include <vector>

#include "model/constants.h"
#include "textio/errors.h"

namespace ostra {

[[noreturn]] void IndexFault(const char* name, long i, long j, long rows, long cols);

template <class T>
class Vec {
public:
    Vec() = default;
    explicit Vec(int n, const char* name = "vector") : name_(name) { Resize(n); }

    // Sizes the vector to n entries, all zero (index 0 exists and is unused).
    void Resize(int n) {
        n_ = n < 0 ? 0 : n;
        data_.assign(static_cast<std::size_t>(n_) + 1, T{});
    }
    // The same, naming the vector for messages about its indices.
    void Resize(int n, const char* name) {
        name_ = name;
        Resize(n);
    }
    void SetName(const char* name) { name_ = name; }
    void Fill(T value) { data_.assign(data_.size(), value); }

    int Size() const { return n_; }
    T& operator()(int i) {
        if (i < 1 || i > n_) IndexFault(name_, i, -1, n_, -1);
        return data_[static_cast<std::size_t>(i)];
    }
    const T& operator()(int i) const {
        if (i < 1 || i > n_) IndexFault(name_, i, -1, n_, -1);
        return data_[static_cast<std::size_t>(i)];
    }
    // Unchecked 1-based access: Data()[i], i = 1..Size().
    T* Data() { return data_.data(); }
    const T* Data() const { return data_.data(); }

private:
    const char* name_ = "vector";
    int n_ = 0;
    std::vector<T> data_ = std::vector<T>(1);
};

template <class T>
class Mat {
public:
    Mat() = default;
    Mat(int rows, int cols, const char* name = "matrix") : name_(name) { Resize(rows, cols); }

    // Sizes the matrix to rows x cols, all zero.
    void Resize(int rows, int cols) {
        rows_ = rows < 0 ? 0 : rows;
        cols_ = cols < 0 ? 0 : cols;
        stride_ = static_cast<std::size_t>(cols_) + 1;
        data_.assign(static_cast<std::size_t>(rows_) * stride_ + 1, T{});
    }
    // The same, naming the table for messages about its indices.
    void Resize(int rows, int cols, const char* name) {
        name_ = name;
        Resize(rows, cols);
    }
    void SetName(const char* name) { name_ = name; }
    void Fill(T value) { data_.assign(data_.size(), value); }

    int Rows() const { return rows_; }
    int Cols() const { return cols_; }
    T& operator()(int i, int j) {
        if (i < 1 || i > rows_ || j < 1 || j > cols_) IndexFault(name_, i, j, rows_, cols_);
        return data_[static_cast<std::size_t>(i - 1) * stride_ + static_cast<std::size_t>(j)];
    }
    const T& operator()(int i, int j) const {
        if (i < 1 || i > rows_ || j < 1 || j > cols_) IndexFault(name_, i, j, rows_, cols_);
        return data_[static_cast<std::size_t>(i - 1) * stride_ + static_cast<std::size_t>(j)];
    }
    // Row i as a 1-based array: Row(i)[j], j = 1..Cols(), contiguous.
    T* Row(int i) {
        if (i < 1 || i > rows_) IndexFault(name_, i, 1, rows_, cols_);
        return &data_[static_cast<std::size_t>(i - 1) * stride_];
    }
    const T* Row(int i) const {
        if (i < 1 || i > rows_) IndexFault(name_, i, 1, rows_, cols_);
        return &data_[static_cast<std::size_t>(i - 1) * stride_];
    }

private:
    const char* name_ = "matrix";
    int rows_ = 0;
    int cols_ = 0;
    std::size_t stride_ = 1;
    std::vector<T> data_ = std::vector<T>(1);
};

using DVector = Vec<Double>;
using SVector = Vec<Single>;
using IVector = Vec<Integer>;
using DMatrix = Mat<Double>;
using SMatrix = Mat<Single>;
using IMatrix = Mat<Integer>;

// The Integers 1..n for a range-for. The count is kept in an int, so that
// n = 32,767 (the largest Integer, a valid compartment count) ends the loop
// instead of wrapping to -32,768.
class OneTo {
public:
    explicit OneTo(Integer n) : n_(n) {}
    class Iterator {
    public:
        explicit Iterator(int i) : i_(i) {}
        Integer operator*() const { return static_cast<Integer>(i_); }
        Iterator& operator++() {
            ++i_;
            return *this;
        }
        bool operator!=(const Iterator& other) const { return i_ != other.i_; }

    private:
        int i_;
    };
    Iterator begin() const { return Iterator(1); }
    Iterator end() const { return Iterator(n_ < 1 ? 1 : n_ + 1); }

private:
    int n_;
};

// The nearest Integer, halves to even (2.5 gives 2, 3.5 gives 4). A value
// outside -32768..32767 throws textio::DataError naming `what`.
Integer RoundToInteger(double x, const char* what = "value");

// A count formed by a sum or product, checked against the Integer range;
// outside it throws textio::DataError naming `what`.
Integer CheckedInteger(long value, const char* what);

}  // namespace ostra
