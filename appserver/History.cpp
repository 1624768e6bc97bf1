#include "History.h"

#include "wire/Packet.h"

#include <cstdio>
#include <ctime>

namespace appserver {

const char* historyOpName(HistoryOp op) {
    switch (op) {
    case HistoryOp::Insert:
        return "insert";
    case HistoryOp::Modify:
        return "modify";
    case HistoryOp::Delete:
        return "delete";
    }
    return "modify";
}

namespace {

void appendValue(std::string& out, std::optional<std::string_view> value) {
    if (value)
        wire::appendJsonString(out, *value);
    else
        out += "null";
}

} // namespace

void FieldChanges::add(std::string_view field, std::optional<std::string_view> before,
                       std::optional<std::string_view> after) {
    switch (op_) {
    case HistoryOp::Insert:
        if (!after) return;
        before.reset();
        break;
    case HistoryOp::Delete:
        if (!before) return;
        after.reset();
        break;
    case HistoryOp::Modify:
        if (before.value_or(std::string_view{}) == after.value_or(std::string_view{})) return;
        break;
    }
    if (count_++) text_.push_back(',');
    text_ += "{\"field\":";
    wire::appendJsonString(text_, field);
    text_ += ",\"before\":";
    appendValue(text_, before);
    text_ += ",\"after\":";
    appendValue(text_, after);
    text_.push_back('}');
}

std::string historyTime(std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

} // namespace appserver
