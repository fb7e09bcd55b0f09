#pragma once

#include <string>

// The command line of mp4box: `mp4box -fps N -add INPUT OUTPUT.mp4`.
struct Options {
    int fps = 0;
    std::string input;
    std::string output;

    // Empty when the options can be used, otherwise what is wrong with them.
    std::string check() const;
};

// Parses argv (without the program name). Returns false with `error` set when an argument is
// unknown, missing or given twice.
bool parseArguments(int argc, const char* const* argv, Options& options, std::string& error);

const char* usageText();
