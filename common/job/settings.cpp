#include "job/settings.h"

#include <charconv>
#include <map>

#include "base/printable.h"

namespace marula::job {

namespace {

// Whole millimetres as stored: an optional minus and digits, nothing else.
std::optional<Millimetres> stored_millimetres(std::string_view text) {
    Millimetres mm = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), mm);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return mm;
}

// The stored value of each key, as text (keys not stored are absent).
std::map<std::string, std::string, std::less<>> stored_values(const Database& db) {
    std::map<std::string, std::string, std::less<>> values;
    Statement s = db.cached("SELECT key, value FROM job_settings");
    while (s.step()) values[s.text(0)] = s.text(1);
    return values;
}

// Reads one stored value into `settings`; false when it cannot be read.
// Keys this build does not know (a later version's) are left alone.
bool take_value(JobSettings& settings, std::string_view key, std::string_view value) {
    if (key == kReductionKey) {
        const auto mode = parse_reduction_mode(value);
        if (mode) settings.reduction = *mode;
        return mode.has_value();
    }
    if (key == kClassKey) {
        const auto c = parse_tolerance_class(value);
        if (c) settings.tolerance = *c;
        return c.has_value();
    }
    if (key == kHeightKey || key == kGeoidKey) {
        const auto mm = stored_millimetres(value);
        const bool height = key == kHeightKey;
        const Millimetres low = height ? kMeanHeightMinMm : kGeoidHeightMinMm;
        const Millimetres high = height ? kMeanHeightMaxMm : kGeoidHeightMaxMm;
        if (!mm || *mm < low || *mm > high) return false;
        (height ? settings.mean_height : settings.geoid_height) = *mm;
        return true;
    }
    return true;
}

// The value a key is stored as.
std::string stored_text(std::string_view key, const JobSettings& s) {
    if (key == kHeightKey) return std::to_string(s.mean_height);
    if (key == kGeoidKey) return std::to_string(s.geoid_height);
    return setting_text(key, s);
}

WriteResult out_of_range(std::string message) { return {WriteStatus::out_of_range, std::move(message), 0}; }

}  // namespace

std::string setting_text(std::string_view key, const JobSettings& s) {
    if (key == kReductionKey) return std::string(reduction_mode_name(s.reduction));
    if (key == kHeightKey) return format_metres(s.mean_height);
    if (key == kGeoidKey) return format_metres(s.geoid_height);
    if (key == kClassKey) return std::string(tolerance_class_name(s.tolerance));
    return {};
}

Read<JobSettings> read_settings(const Database& db) {
    std::string unreadable;
    Read<JobSettings> out = db.read([&] {
        JobSettings settings;
        for (const auto& [key, value] : stored_values(db))
            if (!take_value(settings, key, value))
                unreadable += (unreadable.empty() ? "" : "、") + key + "「" + printable_quote(value) + "」";
        return settings;
    });
    if (out.ok() && !unreadable.empty()) out.trouble = "現場の設定を読めません：" + unreadable;
    return out;
}

WriteResult change_settings(Database& db, const SettingsChange& change, const Origin& origin) {
    if (change.mean_height && (*change.mean_height < kMeanHeightMinMm || *change.mean_height > kMeanHeightMaxMm))
        return out_of_range("平均標高は-1000～9000 mです");
    if (change.geoid_height &&
        (*change.geoid_height < kGeoidHeightMinMm || *change.geoid_height > kGeoidHeightMaxMm))
        return out_of_range("ジオイド高は-200～200 mです");
    return db.write([&] {
        if (change.reduction && *change.reduction != ReductionMode::none &&
            db.integer("SELECT count(zone) FROM job_header WHERE id = 1") == 0)
            return out_of_range(std::string(kNoZoneMessage));
        // Before: what each key means now; a stored value this build
        // cannot read is named in the history as it stands, and replaced.
        const auto stored = stored_values(db);
        JobSettings before;
        std::map<std::string_view, std::string> before_text;
        for (std::string_view key : kSettingKeys) {
            const auto found = stored.find(key);
            const bool readable = found == stored.end() || take_value(before, key, found->second);
            before_text[key] = readable ? setting_text(key, before) : printable(found->second);
        }
        JobSettings after = before;
        if (change.reduction) after.reduction = *change.reduction;
        if (change.mean_height) after.mean_height = *change.mean_height;
        if (change.geoid_height) after.geoid_height = *change.geoid_height;
        if (change.tolerance) after.tolerance = *change.tolerance;

        const std::map<std::string_view, bool> asked = {{kReductionKey, change.reduction.has_value()},
                                                        {kHeightKey, change.mean_height.has_value()},
                                                        {kGeoidKey, change.geoid_height.has_value()},
                                                        {kClassKey, change.tolerance.has_value()}};
        HistoryWriter history(db, origin);
        for (std::string_view key : kSettingKeys) {
            const std::string now = setting_text(key, after);
            if (!asked.at(key) || now == before_text[key]) continue;
            db.cached("INSERT INTO job_settings (key, value) VALUES (?, ?) "
                      "ON CONFLICT (key) DO UPDATE SET value = excluded.value")
                .bind(1, key)
                .bind(2, stored_text(key, after))
                .run();
            history.keyed(Action::setting, key, before_text[key], now);
        }
        return WriteResult{};
    });
}

}  // namespace marula::job
