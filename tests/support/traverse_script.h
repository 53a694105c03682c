// Script pieces for the traverse programs' tests: the open and radial
// traverses' first entries and their further points.
#pragma once

#include <string>
#include <vector>

#include "script_run.h"

namespace marula::test {

// The open and radial traverses' first entries: the backsight BS along
// `backsight_azimuth`, then the instrument point A at (1000, 1000).
inline Lines start_at(const std::string& backsight_azimuth) {
    return {"type BS", "type " + backsight_azimuth, "type A", "type 1000", "type 1000"};
}
// A further point: its name, included angle and distance.
inline Lines point(const std::string& name, const std::string& angle, const std::string& distance) {
    return {"type " + name, "type " + angle, "type " + distance};
}



}  // namespace marula::test
