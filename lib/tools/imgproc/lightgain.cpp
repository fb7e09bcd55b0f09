#include "lightgain.h"

#include <cmath>
#include <opencv2/imgproc.hpp>

namespace
{
// Side of the blocks the ratio is measured on, in pixels.
constexpr int blockSide = 8;
// Each block's ratio is replaced by the median of the 5 x 5 blocks around it (40 pixels): an
// insect, or its shadow, covers fewer than half of them and drops out, while the soft shadow of a
// cloud or a leaf, larger and smooth, stays. The medians are then smoothed by a Gaussian of this
// many blocks.
constexpr int medianBlocks = 5;
constexpr double smoothingBlocks = 1;
// Background blocks darker than this many grey levels give no reliable ratio: they count as 1.
constexpr double darkestUseful = 8;
// The gains are held within these bounds; a larger change of light changes most of the picture,
// which the detector then learns as its new background.
constexpr double lowestGain = 0.5;
constexpr double highestGain = 1.99;
// Gains that differ less than this across the frame are one gain: at most 2 grey levels at full
// brightness, a third of the smallest change taken for motion.
constexpr double uniformSpread = 1.0 / 128;
} // namespace

void LightGain::estimate(const cv::Mat& frame, const cv::Mat& background, int backgroundScale)
{
    const cv::Size blocks((frame.cols + blockSide - 1) / blockSide,
                          (frame.rows + blockSide - 1) / blockSide);
    cv::resize(frame, blockFrame, blocks, 0, 0, cv::INTER_AREA);
    cv::resize(background, blockBackground, blocks, 0, 0, cv::INTER_AREA);
    blockFrame.convertTo(ratio, CV_32F);
    blockBackground.convertTo(gains, CV_32F, 1.0 / backgroundScale);
    for (int y = 0; y < blocks.height; ++y) {
        float* r = ratio.ptr<float>(y);
        const float* b = gains.ptr<float>(y);
        for (int x = 0; x < blocks.width; ++x) {
            const double q = b[x] >= darkestUseful ? r[x] / b[x] : 1.0;
            r[x] = static_cast<float>(std::min(highestGain, std::max(lowestGain, q)));
        }
    }
    cv::medianBlur(ratio, smoothRatio, medianBlocks);
    cv::GaussianBlur(smoothRatio, gains, cv::Size(), smoothingBlocks, smoothingBlocks,
                     cv::BORDER_REPLICATE);
    double lowest = 1, highest = 1;
    cv::minMaxLoc(gains, &lowest, &highest);
    const double unit = 1 << gainShift;
    isUniform = highest - lowest < uniformSpread;
    if (isUniform) {
        uniformValue = cv::saturate_cast<ushort>(cv::mean(gains)[0] * unit);
        return;
    }
    gains.convertTo(blockGains, CV_16U, unit);
    cv::resize(blockGains, fullMap, frame.size(), 0, 0, cv::INTER_LINEAR);
}
