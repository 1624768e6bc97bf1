#pragma once

// A snapshot delta applied as the API's contract tells a client to: the root, `controls`, each
// control, `datasets`, each dataset, a dataset's `current` and `unit` are merged key by key; rows come
// by index and the client keeps [0, recordCount); every other value is replaced whole. Tests check
// that the whole snapshot equals the previous one with the delta applied.

#include <nlohmann/json.hpp>
#include <string>

namespace snapshot_test {

inline void mergeKeys(nlohmann::json& into, const nlohmann::json& from) {
    if (!into.is_object()) into = nlohmann::json::object();
    for (const auto& [key, value] : from.items())
        into[key] = value;
}

inline nlohmann::json merged(nlohmann::json whole, const nlohmann::json& delta) {
    for (const auto& [key, value] : delta.items()) {
        if (key == "controls") {
            for (const auto& [name, members] : value.items())
                mergeKeys(whole[key][name], members);
        } else if (key == "datasets") {
            for (const auto& [name, members] : value.items()) {
                nlohmann::json& set = whole[key][name];
                if (!set.is_object()) set = nlohmann::json::object();
                for (const auto& [member, v] : members.items()) {
                    if (member == "current") {
                        mergeKeys(set[member], v);
                    } else if (member == "rows") {
                        nlohmann::json& rows = set[member];
                        if (!rows.is_array()) rows = nlohmann::json::array();
                        for (const auto& [index, row] : v.items()) {
                            const auto at = static_cast<std::size_t>(std::stoul(index));
                            while (rows.size() <= at)
                                rows.push_back(nullptr);
                            rows[at] = row;
                        }
                    } else {
                        set[member] = v;
                    }
                }
            }
        } else if (key == "unit" && value.is_object()) {
            mergeKeys(whole[key], value);
        } else {
            whole[key] = value;
        }
    }
    for (auto& [name, set] : whole["datasets"].items())
        if (set.contains("rows"))
            while (set["rows"].size() > set["recordCount"].get<std::size_t>())
                set["rows"].erase(set["rows"].size() - 1);
    whole["base"] = nullptr;
    return whole;
}

} // namespace snapshot_test
