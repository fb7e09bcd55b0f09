#include "vorldensity.h"

VorlDensity::VorlDensity() {}
