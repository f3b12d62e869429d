// `quenzal response`: the measured response agrees with the designed stages, and the plot is a
// well-formed picture of all five models.
#include "CliTestSupport.h"

#include <complex>
#include <fstream>
#include <sstream>

namespace clitest {
namespace {

// |H(e^jw)| of the six designed biquads, evaluated in double from their float coefficients.
double AnalyticDecibels(int model, double rate, double frequency) {
    using namespace quenzal_voicing;
    Voicing voicing{};
    Design design{};
    Voice(voicing, model, static_cast<float>(rate));
    DesignCoefficients(design, voicing, static_cast<float>(rate));
    const std::complex<double> z1 = std::polar(1.0, -2 * M_PI * frequency / rate);
    const std::complex<double> z2 = z1 * z1;
    std::complex<double> response = 1.0;
    for (int stage = 0; stage < kStageCount; ++stage) {
        const float* b = design.mB[stage];
        const float* a = design.mA[stage];
        response *= (double(b[0]) + double(b[1]) * z1 + double(b[2]) * z2) /
                    (1.0 + double(a[1]) * z1 + double(a[2]) * z2);
    }
    return 20 * std::log10(std::abs(response));
}

std::vector<std::vector<double>> ReadCsvRows(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line); // the header
    std::vector<std::vector<double>> rows;
    while (std::getline(file, line)) {
        std::vector<double> row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) {
            row.push_back(std::stod(field));
        }
        rows.push_back(row);
    }
    return rows;
}

TEST(Response, AgreesWithTheDesignedStages) {
    const ScratchFolder folder;
    for (const int rate : {48000, 44100}) {
        const std::string csv = folder.Path("response.csv");
        const RunResult run =
            RunQuenzal({"response", "--rate", std::to_string(rate), "--csv", csv});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::vector<double>> rows = ReadCsvRows(csv);
        ASSERT_EQ(rows.size(), 31u);
        EXPECT_DOUBLE_EQ(rows.front()[0], 20);
        EXPECT_DOUBLE_EQ(rows.back()[0], rate / 2);
        for (const size_t index : {0, 6, 13, 17, 21, 26, 29}) {
            const std::vector<double>& row = rows[index];
            ASSERT_EQ(row.size(), 6u);
            for (int model = 1; model <= 5; ++model) {
                EXPECT_NEAR(row[size_t(model)], AnalyticDecibels(model, rate, row[0]), 0.01)
                    << kModelNames[model - 1] << " at " << row[0] << " Hz, " << rate << " Hz";
            }
        }
    }
}

// Settings out of range leave no file behind either.
TEST(Response, RefusesBadOptionsByName) {
    const ScratchFolder folder;
    for (const auto& [args, named] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"response", "--rate", "100"}, "--rate"},
             {{"response", "--points", "1"}, "--points"},
             {{"response", "--svg", folder.Path("missing/plot.svg")}, "missing/plot.svg"},
             {{"state", "save", folder.Path("state.plist"), "--volume", "12"}, "--volume"}}) {
        const RunResult run = RunQuenzal(args);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
    }
    EXPECT_TRUE(folder.Files().empty());
}

} // namespace
} // namespace clitest
