// plain_solvers.h -- the textbook loops of both linear solvers, element by
// element through checked indices: the reference every faster solver must
// match bit for bit.
//
// Exports: PlainLUDCMP, PlainLUBKSB, PlainLinearSolver.
#pragma once

#include <cmath>
#include <utility>

#include "model/arrays.h"
#include "textio/errors.h"

namespace ostra {


inline void PlainLUDCMP(DMatrix& A, IVector& INDX) {
    const int N = A.Rows();
    DVector RowScale(N);
    for (int I = 1; I <= N; ++I) {
        double Big = 0;
        for (int J = 1; J <= N; ++J)
            if (std::fabs(A(I, J)) > Big) Big = std::fabs(A(I, J));
        if (Big == 0) throw textio::DataError("SINGULAR MATRIX in LUDCMP");
        RowScale(I) = 1 / Big;
    }
    for (int J = 1; J <= N; ++J) {
        for (int I = 1; I <= J - 1; ++I) {
            double Sum = A(I, J);
            for (int K = 1; K <= I - 1; ++K) Sum = Sum - A(I, K) * A(K, J);
            A(I, J) = Sum;
        }
        double Big = 0;
        int PivotRow = 0;
        for (int I = J; I <= N; ++I) {
            double Sum = A(I, J);
            for (int K = 1; K <= J - 1; ++K) Sum = Sum - A(I, K) * A(K, J);
            A(I, J) = Sum;
            const double Scaled = RowScale(I) * std::fabs(Sum);
            if (Scaled >= Big) {
                PivotRow = I;
                Big = Scaled;
            }
        }
        if (PivotRow != J) {
            for (int K = 1; K <= N; ++K) std::swap(A(PivotRow, K), A(J, K));
            RowScale(PivotRow) = RowScale(J);
        }
        INDX(J) = static_cast<Integer>(PivotRow);
        if (A(J, J) == 0) A(J, J) = 1E-20;
        if (J != N) {
            const double Recip = 1 / A(J, J);
            for (int I = J + 1; I <= N; ++I) A(I, J) = A(I, J) * Recip;
        }
    }
}

// Forward substitution over all earlier entries, without the skip of
// leading zeros.
inline void PlainLUBKSB(const DMatrix& A, const IVector& INDX, DVector& B) {
    const int N = A.Rows();
    for (int I = 1; I <= N; ++I) {
        const int Row = INDX(I);
        double Sum = B(Row);
        B(Row) = B(I);
        for (int J = 1; J <= I - 1; ++J) Sum = Sum - A(I, J) * B(J);
        B(I) = Sum;
    }
    for (int I = N; I >= 1; --I) {
        double Sum = B(I);
        for (int J = I + 1; J <= N; ++J) Sum = Sum - A(I, J) * B(J);
        B(I) = Sum / A(I, I);
    }
}

inline void PlainLinearSolver(DMatrix& A, DVector& B) {
    const int N = A.Rows();
    IVector RowOrder(N);
    for (int I = 1; I <= N; ++I) RowOrder(I) = static_cast<Integer>(I);
    for (int K = 1; K <= N; ++K) {
        int PivotRow = K;
        double MaxAbs = std::fabs(A(RowOrder(K), K));
        for (int J = K; J <= N; ++J) {
            if (std::fabs(A(RowOrder(J), K)) > MaxAbs) {
                PivotRow = J;
                MaxAbs = std::fabs(A(RowOrder(J), K));
            }
        }
        std::swap(RowOrder(K), RowOrder(PivotRow));
        const int P = RowOrder(K);
        if (MaxAbs >= 1E-10) {
            for (int J = K + 1; J <= N; ++J) A(P, J) = A(P, J) / A(P, K);
            B(P) = B(P) / A(P, K);
        } else {
            for (int J = K + 1; J <= N; ++J) A(P, J) = 0;
            B(P) = 0;
        }
        for (int I = 1; I <= N; ++I) {
            if (I == K) continue;
            const int R = RowOrder(I);
            for (int J = K + 1; J <= N; ++J) A(R, J) = A(R, J) - A(R, K) * A(P, J);
            B(R) = B(R) - A(R, K) * B(P);
        }
    }
    DVector X(N);
    for (int K = 1; K <= N; ++K) X(K) = B(RowOrder(K));
    for (int K = 1; K <= N; ++K) B(K) = X(K);
}

}  // namespace ostra
