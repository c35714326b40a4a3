// constants.h -- named constants of the system, in one place.
//
// Exports: the scalar type names, MISSING, the solver thresholds, the
// fixed file names and the exit statuses of `ostra`.
#pragma once

#include <cstdint>

namespace ostra {

// Scalar types of the equations and tables.
using Integer = std::int16_t;  // counts and indices, signed 16-bit
using Long = std::int32_t;
using Single = float;
using Double = double;

// Marker of a missing or undefined value in every input table and several maps.
inline constexpr int MISSING = -999;
inline constexpr double MISSING_VALUE = -999.0;

// ISELECTG value that selects every row of the residual.
inline constexpr Integer ALL_ROWS = 999;

// Linear solvers.
inline constexpr double LU_TINY_PIVOT = 1E-20;           // replaces a zero pivot in LUDCMP
inline constexpr double GAUSS_JORDAN_PIVOT_MIN = 1E-10;  // absolute pivot threshold of LinearSolver
// Largest residual, relative to its row's scale (the sum of |A(i, j) x(j)|
// and |b(i)|), with which an answer whose component was fixed at 0 by the
// threshold still satisfies the equations (2^-26, about 1.5E-8).
inline constexpr double UNDETERMINED_RESIDUAL_MAX = 1.0 / (1 << 26);
// The method name stored in LinearMethod; any text other than "NumericalRecipes"
// selects LinearSolver.
inline constexpr const char* LINEAR_METHOD_GAUSS_JORDAN = "GaussJordan";
inline constexpr const char* LINEAR_METHOD_LU = "NumericalRecipes";

// The label on line 73 of "Control.csv" that makes lines 73 and 74 a 37th
// pair, the choice of linear solver (compared in any letter case).
inline constexpr const char* SOLVER_PAIR_LABEL = "Linear solver";

// The sparse LU solver refuses factors with a pivot below this fraction of
// the largest element of its column, rows scaled (2^-42, 1024 machine
// epsilons), and an answer whose normwise backward error is above this (2^-26).
inline constexpr double SPARSE_LU_PIVOT_RATIO_MIN = 1024 * 2.220446049250313080847263336181640625E-16;
inline constexpr double SPARSE_LU_BACKWARD_ERROR_MAX = 1.0 / 67108864.0;
// It refuses a matrix whose condition number, rows and columns scaled, is
// at least one over the machine epsilon (2^52).
inline constexpr double SPARSE_LU_CONDITION_MAX = 4503599627370496.0;

// Newton iteration.
inline constexpr float NEWTON_FBEST_START = 1E+30f;

// Table layouts of compartment mode.
inline constexpr Integer NCOL_COMPARTMENT = 10;
inline constexpr Integer NCOL_INITIAL = 3;
inline constexpr Integer NCOL_BOUNDARY = 3;
inline constexpr Integer NCOL_KD = 4;
inline constexpr Integer NCOL_INFACE = 5;
inline constexpr Integer NCOL_ECOEF = 2;
inline constexpr Integer NCOL_FLOW = 2;

// Exit statuses of `ostra`.
enum ExitStatus : int {
    EXIT_DONE = 0,            // "Done!" was shown
    EXIT_FATAL_DATA = 1,      // a fatal data error, written to "Error.dng"
    EXIT_SETUP_STOPPED = 2,   // a scheme or mode conflict stopped the set-up (message box)
    EXIT_NEWTON_GAVE_UP = 3,  // Newton iteration used all its randomizing cycles
    EXIT_USER_STOPPED = 4,    // the user declined to continue at the positivity prompt
    EXIT_DOUBTFUL = 5,        // --strict: the run finished with warnings about its results
    EXIT_USAGE = 64,          // bad command line or model directory
    EXIT_BUSY = 75,           // another run is going in the model directory; nothing was touched
};

// Exchange balance of interfaces between interior compartments (ostra --check):
// the relative difference beyond which the dispersive conductances of the two
// sides count as different (Single rounding of water content x E x area /
// mixing length stays far below it), and how many interfaces one warning names.
inline constexpr double EXCHANGE_BALANCE_TOL = 1E-5;
inline constexpr int EXCHANGE_REPORT_MAX = 5;

// Sources, sinks, loads and mass balance.
inline constexpr const char* VOLUME_SRC_SNK_FILE = "VolumeSrcSnks.csv";
inline constexpr const char* AREA_SRC_SNK_FILE = "AreaSrcSnks.csv";
inline constexpr const char* LOADS_FILE = "Loads.csv";
inline constexpr const char* LOADS_EXCHANGE = "Loads";             // companion "Loads.exe"
inline constexpr const char* BEQN_SOLVER_FILE = "BEqnSolver.csv";
inline constexpr const char* BEQN_SOLVER_EXCHANGE = "BEqnSolver";  // companion "BEqnSolver.exe"
inline constexpr const char* MASS_BALANCE_FILE = "MassBalance.csv";
inline constexpr float REFERENCE_TEMPERATURE = 20.0f;  // rate constants are given at 20 degrees

// The environment variable that tells a run how to form its finite-difference
// Jacobians, and its two values (unset or empty: grouped).
inline constexpr const char* FD_JACOBIAN_VARIABLE = "OSTRA_FD_JACOBIAN";
inline constexpr const char* FD_JACOBIAN_GROUPED = "grouped";
inline constexpr const char* FD_JACOBIAN_COLUMNS = "columns";

}  // namespace ostra
