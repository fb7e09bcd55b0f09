#pragma once

// The scenarios of the accuracy benchmark: one generated video's recipe per scenario and seed,
// with the counting line and the counting area it is counted with.

#include "motion.h"
#include "videogen.h"

#include <string>
#include <vector>

struct Scenario {
    int size = 8;     // insect length, pixels
    double speed = 4; // pixels per frame
    bool wander = false;
    bool pauses = false;
    int insects = 1;
    bool noisy = false; // sensor noise and light flicker

    std::string label() const;
    // The same facts in a form fit for a file name, unique within the grid.
    std::string key() const;
};

// Every combination of the benchmark's sizes, speeds, paths, insect numbers and noise.
std::vector<Scenario> scenarioGrid();

// The frame size and regions every benchmark video shares; `scale` times larger for the same scene
// filmed at that many times the resolution.
struct BenchGeometry {
    static cv::Size frame(int scale = 1);
    static std::vector<cv::Point> line(int scale = 1); // two points
    static std::vector<cv::Point> area(int scale = 1); // closed polygon
    static std::vector<cv::Point> mask(int scale = 1); // closed polygon
};

// Videos generated per scenario: enough to hold a few insects even when one flies at a time.
int videosOf(const Scenario& s);

// Another draw of the grids keeps their scenarios but draws the insects, their paths, the
// backgrounds and the gusts anew: figures on videos no setting was tuned to. Draw 0 is the usual
// one.
unsigned drawnSeed(unsigned seed, unsigned draw);

// The recipe of the scenario's video number `index` in a draw, reproducible from the three.
videogen::ClipRecipe recipeOf(const Scenario& s, int index, unsigned draw = 0);
