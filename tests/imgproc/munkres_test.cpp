#include "munkres.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <vector>

namespace
{

cv::Mat_<int> matrixOf(std::initializer_list<std::initializer_list<int>> rows)
{
    cv::Mat_<int> m(static_cast<int>(rows.size()), static_cast<int>(rows.begin()->size()));
    int r = 0;
    for (const auto& row : rows) {
        int c = 0;
        for (int v : row)
            m(r, c++) = v;
        ++r;
    }
    return m;
}

// Smallest total over every way of pairing min(rows, cols) rows with distinct columns.
long bruteForceMinimum(const cv::Mat_<int>& cost)
{
    const bool tall = cost.rows > cost.cols;
    const int few = std::min(cost.rows, cost.cols);
    const int many = std::max(cost.rows, cost.cols);
    std::vector<int> order(static_cast<size_t>(many));
    std::iota(order.begin(), order.end(), 0);
    long best = -1;
    do {
        long total = 0;
        for (int i = 0; i < few; ++i)
            total += tall ? cost(order[i], i) : cost(i, order[i]);
        if (best < 0 || total < best)
            best = total;
    } while (std::next_permutation(order.begin(), order.end()));
    return best;
}

} // namespace

TEST(Munkres, FindsTheMinimalTotalOfBruteForceOnRandomMatricesWithoutZeros)
{
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> size(1, 6);
    std::uniform_int_distribution<int> value(1, 40);
    for (int trial = 0; trial < 600; ++trial) {
        cv::Mat_<int> cost(size(random), size(random));
        for (int& v : cost)
            v = value(random);
        cv::Mat_<int> result = cost.clone();
        Munkres().solve(result);

        ASSERT_EQ(result.size(), cost.size()) << "trial " << trial;
        long total = 0;
        int assigned = 0;
        std::vector<int> perColumn(static_cast<size_t>(cost.cols), 0);
        for (int r = 0; r < cost.rows; ++r) {
            int perRow = 0;
            for (int c = 0; c < cost.cols; ++c) {
                ASSERT_TRUE(result(r, c) == 0 || result(r, c) == -1);
                if (result(r, c) == 0) {
                    total += cost(r, c);
                    ++perRow;
                    ++perColumn[c];
                    ++assigned;
                }
            }
            ASSERT_LE(perRow, 1);
        }
        for (int n : perColumn)
            ASSERT_LE(n, 1);
        ASSERT_EQ(assigned, std::min(cost.rows, cost.cols)) << "trial " << trial;
        ASSERT_EQ(total, bruteForceMinimum(cost)) << "trial " << trial << "\n" << cost;
    }
}

struct SolverCase {
    const char* name;
    cv::Mat_<int> input;
    cv::Mat_<int> expected;
};

void PrintTo(const SolverCase& c, std::ostream* os)
{
    *os << c.name;
}

class MunkresRules : public ::testing::TestWithParam<SolverCase>
{
};

TEST_P(MunkresRules, GivesTheExpectedAssignment)
{
    cv::Mat_<int> m = GetParam().input.clone();
    Munkres().solve(m);
    ASSERT_EQ(m.size(), GetParam().expected.size());
    EXPECT_EQ(cv::countNonZero(m != GetParam().expected), 0) << m;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, MunkresRules,
    ::testing::Values(
        SolverCase{"single", matrixOf({{7}}), matrixOf({{0}})},
        SolverCase{"singleZero", matrixOf({{0}}), matrixOf({{0}})},
        // Padded to [[0, 50], [50, 50]]; the zero becomes 51, so column 1 wins.
        SolverCase{"zeroIsDearest", matrixOf({{0, 50}}), matrixOf({{-1, 0}})},
        SolverCase{"diagonal", matrixOf({{1, 2}, {2, 1}}), matrixOf({{0, -1}, {-1, 0}})},
        SolverCase{"tiesInScanOrder", matrixOf({{5, 5}, {5, 5}}), matrixOf({{0, -1}, {-1, 0}})},
        SolverCase{"tallPicksCheapest", matrixOf({{30}, {10}, {20}}), matrixOf({{-1}, {0}, {-1}})},
        SolverCase{"tallZeroLast", matrixOf({{0}, {25}, {20}}), matrixOf({{-1}, {-1}, {0}})},
        SolverCase{"allZero", matrixOf({{0, 0}, {0, 0}}), matrixOf({{0, -1}, {-1, 0}})},
        SolverCase{"wide", matrixOf({{9, 3, 7}, {2, 8, 6}}), matrixOf({{-1, 0, -1}, {0, -1, -1}})}),
    [](const ::testing::TestParamInfo<SolverCase>& info) { return info.param.name; });

TEST(Munkres, SquareInputIsSolvedInPlace)
{
    cv::Mat_<int> m = matrixOf({{1, 2}, {2, 1}});
    const int* data = m[0];
    Munkres().solve(m);
    EXPECT_EQ(m[0], data);
}

TEST(Munkres, PrintsOnlyWhenDebugIsOn)
{
    cv::Mat_<int> m = matrixOf({{1, 2}, {2, 1}});
    testing::internal::CaptureStdout();
    Munkres quiet;
    quiet.setDebug(false);
    quiet.solve(m);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    m = matrixOf({{1, 2}, {2, 1}});
    testing::internal::CaptureStdout();
    Munkres loud;
    loud.setDebug(true);
    loud.solve(m);
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Munkres input matrix:\n   1,   2,\n   2,   1,\n\n", 0), 0u) << out;
    const std::string tail = "Munkres output matrix:\n 0,-1,\n-1, 0,\n\n";
    ASSERT_GE(out.size(), tail.size());
    EXPECT_EQ(out.substr(out.size() - tail.size()), tail) << out;
}
