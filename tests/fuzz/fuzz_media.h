// Media the fuzz targets and their seeds share, made with the tests' own
// media makers.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/test_video.h"

namespace fuzz {

// A models set with a part of every section: a texture holding a real PNG,
// an opaque, a translucent and a mirror material, a closed box, a square
// skinned by two bones through two groups, a floor, a track, shadowing
// lamps, and objects of every kind the loader makes, parented.
std::string richModelsSet();

// The media files of the program package: PNG, JPEG, font, Vorbis and
// Theora files and the models set, by package name.
const std::vector<std::pair<std::string, std::string>>& programMedia();

// A Theora file of that size and rate, its picture a gradient that moves each frame.
std::string theora(const testmedia::TheoraSpec& spec);
// One of a few odd-sized frames, its picture offset in the coded frame
// (with a Vorbis track when sounding).
std::string smallVideo(bool sounding);

}  // namespace fuzz
