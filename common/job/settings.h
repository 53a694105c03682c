// The job's settings (現場設定): how typed distances are brought onto the
// plane and which tolerance class judges the results. One row a key in the
// table job_settings; a key not stored has its default, so a job made
// before the settings existed reads exactly as it did.
//
//   auto s = read_settings(job.database());
//   if (!s.ok()) say(*s.trouble);
//   WriteResult w = change_settings(job.database(), {.reduction = ReductionMode::scale}, origin);
//
// Stored values: reduction "none" | "scale" | "height-scale"; height and
// geoid whole millimetres as a decimal integer ("42000"); class "none",
// "1" … "4", "甲一" … "乙三". Other programs read these rows as they stand,
// so the format is kept exactly.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "job/database.h"
#include "job/history.h"
#include "job/point.h"
#include "survey/reduction.h"
#include "survey/tolerance.h"

namespace marula::job {

struct JobSettings {
    ReductionMode reduction = ReductionMode::none;  // 距離補正
    Millimetres mean_height = 0;                      // 平均標高 H̄, above the geoid
    Millimetres geoid_height = 0;                     // ジオイド高 N̄
    ToleranceClass tolerance = ToleranceClass::none;  // 精度区分
    bool operator==(const JobSettings&) const = default;
};

// The keys in the order `settings` prints them.
inline constexpr std::string_view kReductionKey = "reduction";
inline constexpr std::string_view kHeightKey = "height";
inline constexpr std::string_view kGeoidKey = "geoid";
inline constexpr std::string_view kClassKey = "class";
inline constexpr std::array<std::string_view, 4> kSettingKeys = {kReductionKey, kHeightKey, kGeoidKey, kClassKey};

// The heights a job accepts, in millimetres (the survey library's ranges).
inline constexpr Millimetres kMeanHeightMinMm = Millimetres(kMeanHeightMin * 1000);
inline constexpr Millimetres kMeanHeightMaxMm = Millimetres(kMeanHeightMax * 1000);
inline constexpr Millimetres kGeoidHeightMinMm = Millimetres(kGeoidHeightMin * 1000);
inline constexpr Millimetres kGeoidHeightMaxMm = Millimetres(kGeoidHeightMax * 1000);

// Reduction other than none asked of a job that has no zone.
inline constexpr std::string_view kNoZoneMessage = "座標系が未設定です";

// A setting's value as `marula-points settings` prints it and the history
// keeps it: "height-scale", "42.000", "甲二". Empty for an unknown key.
std::string setting_text(std::string_view key, const JobSettings& settings);

// The job's settings. Stored values this build cannot read (written by a
// later version, or by hand) are a trouble naming each key and value; the
// defaults stand in for them and the other values are still given.
Read<JobSettings> read_settings(const Database& db);

// What to change; fields left empty stay as stored.
struct SettingsChange {
    std::optional<ReductionMode> reduction = std::nullopt;
    std::optional<Millimetres> mean_height = std::nullopt;
    std::optional<Millimetres> geoid_height = std::nullopt;
    std::optional<ToleranceClass> tolerance = std::nullopt;
};

// Applies `change` in one write, deciding inside it. Nothing is changed
// when a height is outside its range (out_of_range, the message names the
// range) or when a reduction other than none is asked of a job without a
// zone (out_of_range, kNoZoneMessage). Each key whose value differs is
// stored, with a history change of action `setting` naming the key and
// its values before and after as setting_text gives them; a change that
// changes nothing writes nothing.
WriteResult change_settings(Database& db, const SettingsChange& change, const Origin& origin);

}  // namespace marula::job
