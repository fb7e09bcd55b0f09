#include "jpegencoder.h"

#include <csetjmp>
#include <cstdio>
// jpeglib.h needs FILE and size_t declared before it.
#include <jpeglib.h>

namespace
{
constexpr int quality = 95;
// libjpeg writes into a block of this size at a time, appended to the bytes when full.
constexpr size_t blockSize = 1 << 12;

// libjpeg reports a fatal error by calling error_exit, which must not return: it jumps back.
struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jumpBack(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->back, 1);
}

struct Destination {
    jpeg_destination_mgr manager;
    std::vector<uchar>* bytes;
    std::vector<uchar> block;
};

void startBlock(j_compress_ptr info)
{
    Destination& d = *reinterpret_cast<Destination*>(info->dest);
    d.manager.next_output_byte = d.block.data();
    d.manager.free_in_buffer = d.block.size();
}

boolean blockFull(j_compress_ptr info)
{
    Destination& d = *reinterpret_cast<Destination*>(info->dest);
    d.bytes->insert(d.bytes->end(), d.block.begin(), d.block.end());
    startBlock(info);
    return TRUE;
}

void lastBlock(j_compress_ptr info)
{
    Destination& d = *reinterpret_cast<Destination*>(info->dest);
    d.bytes->insert(d.bytes->end(), d.block.begin(),
                    d.block.end() - static_cast<std::ptrdiff_t>(d.manager.free_in_buffer));
}

// Compresses row by row; BGR rows are turned to RGB in `row` first. Runs between setjmp and the
// end of compression, so it holds nothing that needs destroying.
void compress(jpeg_compress_struct& info, const cv::Mat& picture, std::vector<uchar>& row)
{
    const bool colour = picture.channels() == 3;
    info.image_width = static_cast<JDIMENSION>(picture.cols);
    info.image_height = static_cast<JDIMENSION>(picture.rows);
    info.input_components = colour ? 3 : 1;
    info.in_color_space = colour ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE); // limited to baseline values
    jpeg_start_compress(&info, TRUE);
    row.resize(static_cast<size_t>(picture.cols) * 3);
    for (int y = 0; y < picture.rows; ++y) {
        const uchar* source = picture.ptr<uchar>(y);
        JSAMPROW line = const_cast<uchar*>(source);
        if (colour) {
            for (int x = 0; x < picture.cols; ++x) {
                row[3 * x] = source[3 * x + 2];
                row[3 * x + 1] = source[3 * x + 1];
                row[3 * x + 2] = source[3 * x];
            }
            line = row.data();
        }
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
}
} // namespace

bool encodeJpeg(const cv::Mat& picture, std::vector<uchar>& bytes)
{
    bytes.clear();
    if (picture.empty() || picture.depth() != CV_8U ||
        (picture.channels() != 1 && picture.channels() != 3))
        return false;
    jpeg_compress_struct info{};
    ErrorJump error{};
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpBack;
    Destination destination{};
    destination.bytes = &bytes;
    destination.block.resize(blockSize);
    destination.manager.init_destination = startBlock;
    destination.manager.empty_output_buffer = blockFull;
    destination.manager.term_destination = lastBlock;
    std::vector<uchar> row;
    bool done = false;
    jpeg_create_compress(&info);
    info.dest = &destination.manager;
    if (setjmp(error.back) == 0) {
        compress(info, picture, row);
        done = true;
    }
    jpeg_destroy_compress(&info);
    if (!done)
        bytes.clear();
    return done;
}
