#pragma once

#include <opencv2/core.hpp>
#include <vector>

// What cv::resize with INTER_AREA gives when it reduces an 8-bit or 16-bit grey picture, bit for
// bit, at a fraction of its cost.
//
// For a whole factor that divides both sides the reduction is a plain block mean (summed as
// resize sums it, in a float, where a 16-bit block's sum may pass 2^24). For any other
// size, resize weighs each source pixel by the share of it that falls in each reduced pixel, adding
// the products one at a time through memory, which on a large frame costs more than all the rest
// of the analysis. Here the same products are added in the same order, so that every float sum
// rounds as resize's does, but in registers and four source rows at a time. The tables of shares
// are kept from one call to the next while the sizes stay the same.
class AreaReduction
{
public:
    // `src` CV_8UC1 or CV_16UC1; `size` no larger than it either way. Other types go to resize.
    void reduce(const cv::Mat& src, cv::Mat& dst, cv::Size size);
    // The mean of each `block` of `src` (CV_8UC1 or CV_16UC1, its sides whole multiples of the
    // block's), summed exactly in integers rather than as resize rounds its float sums: the
    // cheapest reduction, for callers that need no bit-for-bit match with resize.
    void blockMeans(const cv::Mat& src, cv::Mat& dst, cv::Size block);

    // The widest vectors the processor has (AVX2 on x86), or none: both give the same result,
    // which the tests check.
    enum class Vectors { Widest, None };
    void setVectors(Vectors v) { vectors = v; }

    // The share `alpha` of source pixel (or row) `source` that goes into one reduced pixel.
    struct Share {
        int source;
        float alpha;
    };

private:
    // The shares of one side: those of reduced pixel i are shares[first[i]] to shares[first[i +
    // 1]].
    struct Side {
        std::vector<Share> shares;
        std::vector<int> first;
    };
    static void computeSide(int sourceLength, int reducedLength, Side& side);
    void prepare(cv::Size from, cv::Size to);
    template <typename T>
    void reduceRows(const T* const* source, float* const* out, int count) const;
    template <typename T> void reduceSpread(const cv::Mat& src, cv::Mat& dst);
    template <typename T>
    void typedBlockMeans(const cv::Mat& src, cv::Mat& dst, int across, int down);

    Vectors vectors = Vectors::Widest;
    cv::Size preparedFrom, preparedTo;
    Side columns, rows;
    cv::Mat rowSums;             // CV_32F: each source row reduced along x
    std::vector<int> columnSums; // for block means
    std::vector<float> total;    // one reduced row as its float sum
};
