#include "munkres.h"

#include <algorithm>
#include <cstdio>

void Munkres::solve(cv::Mat_<int>& m)
{
    const int rows = m.rows;
    const int cols = m.cols;
    if (rows <= 0 || cols <= 0)
        return;
    const int n = std::max(rows, cols);

    if (debug) {
        std::printf("Munkres input matrix:\n");
        printMatrix(m, rows, cols, 4);
    }
    if (rows == cols)
        matrix = m; // shared: the caller's matrix becomes the result
    else
        padToSquare(m, n);
    mask.create(n, n);
    mask.setTo(Plain);
    rowCover.assign(static_cast<size_t>(n), 0);
    colCover.assign(static_cast<size_t>(n), 0);

    replaceZeros();
    reduceRows();
    reduceColumns();

    int step = 1;
    while (step != 0) {
        switch (step) {
        case 1:
            step = step1();
            break;
        case 2:
            step = step2();
            break;
        case 3:
            step = step3();
            break;
        case 4:
            step = step4();
            break;
        default:
            step = step5();
            break;
        }
    }

    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            matrix(r, c) = mask(r, c) == Starred ? 0 : -1;
    if (debug) {
        std::printf("Munkres output matrix:\n");
        printMatrix(matrix, rows, cols, 2);
    }
    m = matrix(cv::Rect(0, 0, cols, rows));
}

// Padding with the largest entry keeps the optimum over the real cells unchanged.
void Munkres::padToSquare(const cv::Mat_<int>& m, int n)
{
    int largest = 0;
    for (int r = 0; r < m.rows; ++r)
        for (int c = 0; c < m.cols; ++c)
            largest = std::max(largest, m(r, c));
    // A fresh buffer: the caller may still hold the result of the previous solve.
    matrix = cv::Mat_<int>(n, n, largest);
    m.copyTo(matrix(cv::Rect(0, 0, m.cols, m.rows)));
}

// A zero cost means "no position": it must never look like the best choice.
void Munkres::replaceZeros()
{
    bool found = false;
    int largest = 0;
    for (int r = 0; r < matrix.rows; ++r)
        for (int c = 0; c < matrix.cols; ++c) {
            const int v = matrix(r, c);
            if (v != 0 && (!found || v > largest)) {
                largest = v;
                found = true;
            }
        }
    if (!found)
        return;
    for (int r = 0; r < matrix.rows; ++r)
        for (int c = 0; c < matrix.cols; ++c)
            if (matrix(r, c) == 0)
                matrix(r, c) = largest + 1;
}

void Munkres::reduceRows()
{
    for (int r = 0; r < matrix.rows; ++r) {
        int low = matrix(r, 0);
        for (int c = 1; c < matrix.cols && low > 0; ++c)
            low = std::min(low, matrix(r, c));
        if (low > 0)
            for (int c = 0; c < matrix.cols; ++c)
                matrix(r, c) -= low;
    }
}

void Munkres::reduceColumns()
{
    for (int c = 0; c < matrix.cols; ++c) {
        int low = matrix(0, c);
        for (int r = 1; r < matrix.rows && low > 0; ++r)
            low = std::min(low, matrix(r, c));
        if (low > 0)
            for (int r = 0; r < matrix.rows; ++r)
                matrix(r, c) -= low;
    }
}

// Star every zero that has no other star in its row or column.
int Munkres::step1()
{
    const int n = matrix.rows;
    std::vector<char>& rowStarred = rowCover; // covers are all clear here: borrow them
    std::vector<char>& colStarred = colCover;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            if (matrix(r, c) == 0 && !colStarred[c] && !rowStarred[r]) {
                mask(r, c) = Starred;
                rowStarred[r] = colStarred[c] = 1;
            }
    std::fill(rowCover.begin(), rowCover.end(), 0);
    std::fill(colCover.begin(), colCover.end(), 0);
    return 2;
}

// Cover the column of every star; done when every column holds one.
int Munkres::step2()
{
    const int n = matrix.rows;
    int count = 0;
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            if (mask(r, c) == Starred) {
                colCover[c] = 1;
                ++count;
            }
    if (count >= n)
        return 0;
    if (debug) {
        std::printf("Munkres matrix has %d of %d Columns covered:\n", count, n);
        printMatrix(matrix, n, n, 4);
    }
    return 3;
}

// Prime an uncovered zero; a star in its row moves the cover from the star's column to the row.
int Munkres::step3()
{
    const int n = matrix.rows;
    for (int r = 0; r < n; ++r) {
        if (rowCover[r])
            continue;
        for (int c = 0; c < n; ++c) {
            if (colCover[c] || matrix(r, c) != 0)
                continue;
            mask(r, c) = Primed;
            savedRow = r;
            savedCol = c;
            for (int sc = 0; sc < n; ++sc)
                if (mask(r, sc) == Starred) {
                    rowCover[r] = 1;
                    colCover[sc] = 0;
                    return 3;
                }
            return 4;
        }
    }
    return 5;
}

bool Munkres::inPath(int row, int col) const
{
    return std::find(path.begin(), path.end(), cv::Point(col, row)) != path.end();
}

int Munkres::findStarInColumn(int col, int fromRow) const
{
    for (int r = fromRow; r < matrix.rows; ++r)
        if (mask(r, col) == Starred && !inPath(r, col))
            return r;
    return -1;
}

// Alternate primes and stars from the saved prime, then flip them along the sequence.
int Munkres::step4()
{
    const int n = matrix.rows;
    path.clear();
    path.emplace_back(savedCol, savedRow);
    for (;;) {
        const int col = path.back().x;
        const int starRow = findStarInColumn(col, 0);
        if (starRow < 0)
            break;
        path.emplace_back(col, starRow);
        int primeCol = -1;
        for (int c = 0; c < n; ++c)
            if (mask(starRow, c) == Primed && !inPath(starRow, c)) {
                primeCol = c;
                break;
            }
        if (primeCol < 0)
            break;
        path.emplace_back(primeCol, starRow);
    }
    for (const cv::Point& cell : path) {
        int& mark = mask(cell.y, cell.x);
        mark = mark == Starred ? Plain : (mark == Primed ? Starred : mark);
    }
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c)
            if (mask(r, c) == Primed)
                mask(r, c) = Plain;
    std::fill(rowCover.begin(), rowCover.end(), 0);
    std::fill(colCover.begin(), colCover.end(), 0);
    return 2;
}

// Add the smallest uncovered value to covered rows and take it from uncovered columns.
int Munkres::step5()
{
    const int n = matrix.rows;
    int h = 0;
    for (int r = 0; r < n; ++r) {
        if (rowCover[r])
            continue;
        for (int c = 0; c < n; ++c) {
            if (colCover[c])
                continue;
            const int v = matrix(r, c);
            if (h == 0 || (v != 0 && v < h))
                h = v;
        }
    }
    for (int r = 0; r < n; ++r)
        if (rowCover[r])
            for (int c = 0; c < n; ++c)
                matrix(r, c) += h;
    for (int c = 0; c < n; ++c)
        if (!colCover[c])
            for (int r = 0; r < n; ++r)
                matrix(r, c) -= h;
    return 3;
}

void Munkres::printMatrix(const cv::Mat_<int>& m, int rows, int cols, int width) const
{
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c)
            std::printf("%*d,", width, m(r, c));
        std::printf("\n");
    }
    std::printf("\n");
}
