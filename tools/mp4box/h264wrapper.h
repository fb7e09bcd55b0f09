#pragma once

#include "options.h"

#include <string>

// Wraps the raw H.264 stream `options.input` into the MP4 file `options.output` at
// `options.fps` frames per second, copying the coded frames unchanged. Progress goes to standard
// output in two phases, "Importing AVC-H264" while the stream is read and indexed and
// "ISO File Writing" while the file is written, each as lines ending in "(percent/100)".
// The output is written under a temporary name of its own and renamed at the end, so a failure
// or an interruption (SIGINT, SIGTERM) leaves no partial file, and an existing file of that name
// untouched. An output that is the input, or exists and is not a regular file, is refused.
// Returns false with `error` set.
bool wrapH264(const Options& options, std::string& error);
