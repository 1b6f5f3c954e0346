#pragma once
// The files the HTML viewer carries, embedded at build time
// (viewer/embed_assets.cmake): the page up to its data, and the three.js
// library, its orbit controls and the library's licence notice from the
// build host's libjs-three.

#include <string_view>

namespace velscan::exporter {

std::string_view ViewerPageHead();
std::string_view ThreeJsLibrary();
std::string_view ThreeJsOrbitControls();
std::string_view ThreeJsLicence();

}  // namespace velscan::exporter
