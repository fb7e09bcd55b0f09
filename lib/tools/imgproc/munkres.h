#pragma once

#include <opencv2/core.hpp>
#include <vector>

// Optimal assignment (Munkres / Hungarian algorithm) on an integer cost matrix, solved in place.
//
//   cv::Mat_<int> m = costs.clone();
//   Munkres solver;
//   solver.solve(m); // m(i, j) == 0 where row i is assigned to column j, -1 elsewhere
//
// Two rules the tracker relies on: a cost of exactly 0 is treated as the most expensive cost
// (0 means "no position" in the engine), and a non-square matrix is padded with its largest
// entry, so a row or column matched to padding ends up unassigned.
// Costs are expected to be non-negative.
class Munkres
{
public:
    Munkres() = default;

    // Prints the input, the progress and the result to standard output.
    void setDebug(bool on) { debug = on; }
    // Replaces m by the assignment; m then shares the solver's working buffer.
    void solve(cv::Mat_<int>& m);

private:
    enum Mark { Plain = 0, Starred = 1, Primed = 2 };

    void padToSquare(const cv::Mat_<int>& m, int n);
    void replaceZeros();
    void reduceRows();
    void reduceColumns();
    int step1();
    int step2();
    int step3();
    int step4();
    int step5();
    int findStarInColumn(int col, int fromRow) const;
    bool inPath(int row, int col) const;
    void printMatrix(const cv::Mat_<int>& m, int rows, int cols, int width) const;

    cv::Mat_<int> mask;
    cv::Mat_<int> matrix;
    std::vector<char> rowCover;
    std::vector<char> colCover;
    std::vector<cv::Point> path; // (x = column, y = row) cells of the augmenting sequence
    int savedRow = 0;
    int savedCol = 0;
    bool debug = false;
};
