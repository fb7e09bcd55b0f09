#pragma once

// The outdoor scenarios of the accuracy benchmark: trap footage with textured backgrounds, insect
// shapes of mixed sizes, a trembling camera shaken by gusts, cloud shadows, a swaying leaf and
// H.264 at a low bit rate, filmed at 10, 25 and a few at 90 frames per second. Counted with the
// same line and area as the clean grid (BenchGeometry).

#include "outdoor.h"
#include "videogen.h"

#include <string>
#include <vector>

enum class Condition { Calm, Shake, Clouds, Sway, All };

struct OutdoorScenario {
    videogen::Backdrop backdrop = videogen::Backdrop::Card;
    Condition condition = Condition::Calm;
    bool large = false; // lengths 12 to 19 px rather than 8 to 13
    bool fast = false;  // 90 to 250 px/s on straight paths rather than 30 to 80 wandering
    int fps = 25;
    int insects = 1;

    std::string label() const;
    // The same facts in a form fit for a file name, unique within the grid.
    std::string key() const;
    // Names of its values, for the figures per factor.
    std::string backdropName() const;
    std::string conditionName() const;
    // Swarms are measured apart from the scenarios of at most 8 insects.
    bool swarm() const;
};

// Every background and condition with small and large, slow and fast insects at 10 and 25 fps
// (alternating), 1 to 8 insects; a few at 90 fps; and swarms of 20.
std::vector<OutdoorScenario> outdoorGrid();

struct OutdoorClip {
    videogen::ClipRecipe recipe;
    videogen::OutdoorOptions options;
};

// At `scale` the same scene is filmed at that many times the resolution: the frame, the regions,
// the insects, their paths and speeds, and the camera's shake are that many times larger.
OutdoorClip outdoorClipOf(const OutdoorScenario& s, unsigned draw = 0, int scale = 1);

// The longest insect of the scenario and the farthest it steps in a frame, in pixels at scale 1.
double longestInsect(const OutdoorScenario& s);
double longestStep(const OutdoorScenario& s);
