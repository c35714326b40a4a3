// compartment_model_files.h -- writes small model directories for tests and
// the benchmark: "Control.csv" and every table of a compartment model.
//
// Exports (namespace ostra::testing): ControlFile, Compartment, Link,
// CompartmentModel, WriteModelFile, NumberText, ParseCsvRows.
//
// A test describes its model in a few lines (compartments, the links between
// them with area, flow and exchange coefficient, sinks and loads) and gets
// the files exactly as a user would write them: CR LF lines, one header
// line per table, the 36 label/value pairs of "Control.csv".
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ostra::testing {

// The shortest text that reads back as the same double ("0.1", "8", "-2.5").
inline std::string NumberText(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

// Writes `content` with every "\n" turned into CR LF.
inline void WriteModelFile(const std::filesystem::path& dir, const std::string& name,
                           const std::string& content) {
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    for (char ch : content) {
        if (ch == '\n') out.put('\r');
        out.put(ch);
    }
    if (!out) throw std::runtime_error("cannot write " + name);
}

// The rows of a comma-separated result file as numbers; the first
// `skipLines` lines (headers) are left out and empty fields are ignored.
inline std::vector<std::vector<double>> ParseCsvRows(const std::string& text, int skipLines = 1) {
    std::vector<std::vector<double>> rows;
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        if (n++ < skipLines) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<double> row;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) {
            if (field.find_first_not_of(' ') == std::string::npos) continue;
            row.push_back(std::strtod(field.c_str(), nullptr));
        }
        rows.push_back(row);
    }
    return rows;
}

// "Control.csv": every run option, defaulting to a linear dynamic
// compartment-mode run with implicit Euler writing "AllTimeSeries.csv".
struct ControlFile {
    std::string mode = "ENVS";
    bool linear = true;
    bool dynamic = true;
    int NEQN = 0;
    int NSV = 1, NTCount1 = 1, NTCount2 = 0;
    int NAS = 1;
    int MixLengthOption = 1;
    std::string FlowBalanceTol = "1";
    int DynType = 3;
    std::string DELT = "1";
    std::string NumTimeSteps = "1";
    int DumpStep = 0;
    int DynPrint = 3;
    std::string ProfileStep = "0";
    int NumSectnPrint = 1, PrintEvery = 1;
    bool NonlinearRV = false, AnalyticJacobian = false;
    std::string DELTFD = ".0001";
    bool NewtonInfo = false, NonNegative = true;
    std::string RandomHigh = "1", RandomLow = "0";
    std::string SC = "1E-20";
    int MaxNewtonIteration = 50, MaxRandomizing = 3, NumRandomSamples = 3;
    bool VarnTerm = false, TelmTerm = false;
    bool TimeVarCompartments = false, TimeVarInterfaces = false, TimeVarFlows = false,
         TimeVarECoef = false, TimeVarMultipliers = false, TimeVarKd = false,
         TimeVarBoundary = false, TimeVarLoads = false, TimeVarAEqnSolver = false,
         TimeVarBEqnSolver = false, TimeVarRVEqnSolver = false;

    std::string Text() const {
        std::ostringstream o;
        auto yn = [](bool b) { return b ? "Y" : "N"; };
        auto pair = [&o](const char* label, const std::string& value) {
            o << label << "\n" << value << "\n";
        };
        auto i = [](int v) { return std::to_string(v); };
        pair("Mode (ENVS or EQNS)", mode);
        pair("Linear (Y/N)", yn(linear));
        pair("Steady state (Y/N)", yn(!dynamic));
        pair("Number of equations", i(NEQN));
        pair("State variables, compartments, more compartments",
             i(NSV) + "," + i(NTCount1) + "," + i(NTCount2));
        pair("Maximum adjacent compartments", i(NAS));
        pair("Mixing length option", i(MixLengthOption));
        pair("Flow balance tolerance percent", FlowBalanceTol);
        pair("Time-stepping scheme", i(DynType));
        pair("Time step", DELT);
        pair("Number of time steps", NumTimeSteps);
        pair("Dump step", i(DumpStep));
        pair("Dynamic print option", i(DynPrint));
        pair("Profile step", ProfileStep);
        pair("Compartment printed, print interval", i(NumSectnPrint) + "," + i(PrintEvery));
        pair("Nonlinear storage (Y/N)", yn(NonlinearRV));
        pair("Analytic Jacobian (Y/N)", yn(AnalyticJacobian));
        pair("Finite-difference increment", DELTFD);
        pair("Newton trace (Y/N)", yn(NewtonInfo));
        pair("Non-negative (Y/N)", yn(NonNegative));
        pair("Random high, low", RandomHigh + "," + RandomLow);
        pair("Convergence limit", SC);
        pair("Newton iterations, randomizing cycles, samples",
             i(MaxNewtonIteration) + "," + i(MaxRandomizing) + "," + i(NumRandomSamples));
        pair("f(C) term (Y/N)", yn(VarnTerm));
        pair("R(C) term (Y/N)", yn(TelmTerm));
        pair("Time-variable compartments", yn(TimeVarCompartments));
        pair("Time-variable interfaces", yn(TimeVarInterfaces));
        pair("Time-variable flows", yn(TimeVarFlows));
        pair("Time-variable exchange coefficients", yn(TimeVarECoef));
        pair("Time-variable multipliers", yn(TimeVarMultipliers));
        pair("Time-variable partitioning", yn(TimeVarKd));
        pair("Time-variable boundary", yn(TimeVarBoundary));
        pair("Time-variable loads", yn(TimeVarLoads));
        pair("Time-variable A matrix", yn(TimeVarAEqnSolver));
        pair("Time-variable B vector", yn(TimeVarBEqnSolver));
        pair("Time-variable storage", yn(TimeVarRVEqnSolver));
        return o.str();
    }
};

// One row of "Compartments.csv" (the number and interface count are filled in).
struct Compartment {
    int kind = 0;  // 0 interior; 1 zero-concentration, 2 fixed, 3 flow exit, 4 extrapolated
    double x = 0, y = 0, z = 0;
    double volume = 1;
    double temperature = 20;
    double water = 1;
    double solids = 0;
};

// An interface between compartments a and b, listed in both compartments'
// rows. `flow` runs from a to b (negative: from b to a); the same flow and
// exchange coefficient hold for every state variable.
struct Link {
    int a = 0, b = 0;
    double area = 1;
    double flow = 0;
    double E = 0;
    double distA = 0.5, distB = 0.5;  // centroid-to-interface distances
    double mixLength = 1;
    double alpha = 1;
};

struct VolumeTerm {
    int K, rowSV, colSV;
    double k;
};
struct AreaTerm {
    int ISV, K, J;
    double v;
};
struct LoadRecord {
    int K, ISV;
    double W;
};
struct LoadBlock {
    double t1, t2;
    std::vector<LoadRecord> records;
};

// A whole compartment model. Per-state-variable values are indexed
// [ISV - 1][K - 1]; Add and Connect keep them sized.
struct CompartmentModel {
    int NSV = 1;
    std::vector<Compartment> comps;
    std::vector<Link> links;
    std::vector<std::vector<int>> map;           // SVCompMap; default 1 in interior compartments
    std::vector<std::vector<double>> kd, theta;  // partitioning and temperature coefficient
    std::vector<std::vector<double>> boundary;   // boundary concentrations
    std::vector<std::vector<double>> initial;    // initial concentrations
    std::vector<VolumeTerm> volumeTerms;
    std::vector<AreaTerm> areaTerms;
    std::vector<LoadBlock> loads;

    explicit CompartmentModel(int nsv = 1) : NSV(nsv) {}

    int NT() const { return static_cast<int>(comps.size()); }

    // Adds a compartment and returns its number (1-based).
    int Add(const Compartment& c) {
        comps.push_back(c);
        for (auto* table : {&kd, &boundary, &initial}) {
            table->resize(NSV);
            for (auto& row : *table) row.push_back(0);
        }
        theta.resize(NSV);
        for (auto& row : theta) row.push_back(1);
        map.resize(NSV);
        for (auto& row : map) row.push_back(c.kind == 0 ? 1 : 0);
        return NT();
    }
    void Connect(const Link& l) { links.push_back(l); }

    int MaxInterfaces() const {
        const auto linksOf = LinksOf();
        int m = 0;
        for (int k = 1; k <= NT(); ++k) m = std::max(m, InterfaceCount(k, linksOf));
        return m;
    }
    // The interface count of compartment k: a link with itself counts twice.
    int InterfaceCount(int k, const std::vector<std::vector<std::size_t>>& linksOf) const {
        int n = 0;
        for (std::size_t i : linksOf[static_cast<std::size_t>(k - 1)]) n += links[i].a == links[i].b ? 2 : 1;
        return n;
    }
    // The links of each compartment (index K - 1), in the order of `links`.
    std::vector<std::vector<std::size_t>> LinksOf() const {
        std::vector<std::vector<std::size_t>> of(comps.size());
        for (std::size_t i = 0; i < links.size(); ++i) {
            const Link& l = links[i];
            // A link of a compartment with itself is listed once.
            if (l.a >= 1 && l.a <= NT()) of[static_cast<std::size_t>(l.a - 1)].push_back(i);
            if (l.b != l.a && l.b >= 1 && l.b <= NT()) of[static_cast<std::size_t>(l.b - 1)].push_back(i);
        }
        return of;
    }
    int Equations() const {
        int n = 0;
        for (int s = 0; s < NSV; ++s)
            for (int k = 0; k < NT(); ++k) n += map[s][k] == 1 && comps[k].kind == 0;
        return n;
    }

    // Fills the counts of `control` from the model and writes every file.
    void Write(const std::filesystem::path& dir, ControlFile control) const {
        control.NSV = NSV;
        control.NTCount1 = NT();
        control.NTCount2 = 0;
        control.NAS = std::max(1, MaxInterfaces());
        control.NEQN = Equations();
        WriteModelFile(dir, "Control.csv", control.Text());
        WriteTables(dir);
    }

    void WriteTables(const std::filesystem::path& dir) const {
        using std::to_string;
        auto N = NumberText;
        std::string svmap = "State variable, map\n";
        for (int s = 1; s <= NSV; ++s) {
            svmap += to_string(s);
            for (int k = 1; k <= NT(); ++k) svmap += "," + to_string(map[s - 1][k - 1]);
            svmap += "\n";
        }
        WriteModelFile(dir, "SVCompmap.csv", svmap);

        const auto linksOf = LinksOf();
        std::string compartments = "Number,Interfaces,Kind,X,Y,Z,Volume,Temperature,Water,Solids\n";
        for (int k = 1; k <= NT(); ++k) {
            const Compartment& c = comps[k - 1];
            compartments += to_string(k) + "," + to_string(InterfaceCount(k, linksOf)) + "," +
                            to_string(c.kind) + "," + N(c.x) + "," + N(c.y) + "," + N(c.z) + "," +
                            N(c.volume) + "," + N(c.temperature) + "," + N(c.water) + "," +
                            N(c.solids) + "\n";
        }
        WriteModelFile(dir, "Compartments.csv", compartments);

        std::string interfaces = "Compartment, then adjacent, area, distance, mixing length, weight\n";
        std::string flows = "State variable, compartment, then adjacent, flow\n";
        std::string ecoefs = "State variable, compartment, then adjacent, exchange coefficient\n";
        for (int k = 1; k <= NT(); ++k) {
            interfaces += to_string(k);
            for (std::size_t i : linksOf[k - 1]) {
                const Link& l = links[i];
                const bool isA = l.a == k;
                interfaces += "," + to_string(isA ? l.b : l.a) + "," + N(l.area) + "," +
                              N(isA ? l.distA : l.distB) + "," + N(l.mixLength) + "," + N(l.alpha);
            }
            interfaces += "\n";
        }
        for (int s = 1; s <= NSV; ++s) {
            for (int k = 1; k <= NT(); ++k) {
                flows += to_string(s) + "," + to_string(k);
                ecoefs += to_string(s) + "," + to_string(k);
                for (std::size_t i : linksOf[k - 1]) {
                    const Link& l = links[i];
                    const bool isA = l.a == k;
                    const int adj = isA ? l.b : l.a;
                    // Positive flow enters the compartment of the row.
                    for (std::string* out : {&flows, &ecoefs}) {
                        out->push_back(',');
                        out->append(to_string(adj));
                        out->push_back(',');
                    }
                    flows.append(N(isA ? -l.flow : l.flow));
                    ecoefs.append(N(l.E));
                }
                flows += "\n";
                ecoefs += "\n";
            }
        }
        WriteModelFile(dir, "Interfaces.csv", interfaces);
        WriteModelFile(dir, "Flows.csv", flows);
        WriteModelFile(dir, "ECoefficients.csv", ecoefs);

        std::string kdText = "State variable, compartment, partition coefficient, temperature coefficient\n";
        std::string boundaryText = "State variable, compartment, boundary concentration\n";
        std::string initialText = "State variable, compartment, initial concentration\n";
        for (int s = 1; s <= NSV; ++s)
            for (int k = 1; k <= NT(); ++k) {
                const std::string head = to_string(s) + "," + to_string(k) + ",";
                kdText += head + N(kd[s - 1][k - 1]) + "," + N(theta[s - 1][k - 1]) + "\n";
                boundaryText += head + N(boundary[s - 1][k - 1]) + "\n";
                initialText += head + N(initial[s - 1][k - 1]) + "\n";
            }
        WriteModelFile(dir, "linearKdandTempCoef.csv", kdText);
        WriteModelFile(dir, "BOUNDARY.csv", boundaryText);
        WriteModelFile(dir, "INITIAL.CSV", initialText);

        std::string volume = "Compartment, receiving state variable, driving state variable, rate\n";
        for (const auto& v : volumeTerms)
            volume += to_string(v.K) + "," + to_string(v.rowSV) + "," + to_string(v.colSV) + "," +
                      N(v.k) + "\n";
        WriteModelFile(dir, "VolumeSrcSnks.csv", volume + "-999\n");
        std::string area = "State variable, compartment, adjacent compartment, rate per area\n";
        for (const auto& a : areaTerms)
            area += to_string(a.ISV) + "," + to_string(a.K) + "," + to_string(a.J) + "," + N(a.v) +
                    "\n";
        WriteModelFile(dir, "AreaSrcSnks.csv", area + "-999\n");
        WriteModelFile(dir, "FlowandEMultipliers.csv",
                       "State variable, row, column, interface, interface, exchange, flow\n-999\n");

        std::string loadText;
        for (const auto& b : loads) {
            loadText += "Loads from " + N(b.t1) + " to " + N(b.t2) + "\n" + N(b.t1) + "," + N(b.t2) +
                        "\nCompartment, state variable, load\n";
            for (const auto& r : b.records)
                loadText += to_string(r.K) + "," + to_string(r.ISV) + "," + N(r.W) + ",-999\n";
            loadText += "-999\n";
        }
        WriteModelFile(dir, "Loads.csv", loadText + "-999\n");
    }
};

}  // namespace ostra::testing
