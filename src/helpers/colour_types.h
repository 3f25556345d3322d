// The colour triples every map colour is held in, passed by value.
#pragma once

static_assert(sizeof(float) == 4, "colour components are 32-bit floats");

// r, g, b on 0..255, not clamped. (0, 0, 254) means "no colour set".
struct RGB255 {
  float r = 0, g = 0, b = 0;
};

// r, g, b on 0..1: the form platform colours take.
struct RGB1 {
  float r = 0, g = 0, b = 0;
};

// h and s on 0..1; v on the scale of the RGB triple it came from.
struct HSV {
  float h = 0, s = 0, v = 0;
};
