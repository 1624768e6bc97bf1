#pragma once

// The history of operation types and their message lines: what one accepted change did to each field,
// and the answer of GetHistTipOper. Rows are written by the Store in the transaction of the change.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace appserver {

enum class HistoryOp { Insert, Modify, Delete };

const char* historyOpName(HistoryOp op); // "insert", "modify", "delete", as stored and answered

// Names of the two tables in the history, as the protocol calls them.
inline constexpr std::string_view kHistoryRecordTable = "TIPOOPER";
inline constexpr std::string_view kHistoryLineTable = "MENSTIPOOPER";

// The newest entries GetHistTipOper answers for one operation type; an answer never grows past them.
inline constexpr int kMaxHistoryEntries = 5000;

// The field-level changes of one record, built as the JSON array that is stored and answered:
// [{"field":F,"before":V,"after":V},...], values being text or null as in the packets.
class FieldChanges {
public:
    explicit FieldChanges(HistoryOp op) : op_(op) {}

    // Takes one field's value before and after the change by the rule of the operation: an insert lists
    // every field it stores a value in, a delete every field that held one, and a modify only the fields
    // whose value changed, NULL and "" being one value (the screen shows NULL as "", and a save may store
    // either for an empty field: that is no change to anyone reading the record).
    void add(std::string_view field, std::optional<std::string_view> before, std::optional<std::string_view> after);

    HistoryOp op() const { return op_; }
    bool empty() const { return count_ == 0; }
    int count() const { return count_; }
    std::string json() const { return text_ + "]"; }

private:
    HistoryOp op_;
    std::string text_ = "[";
    int count_ = 0;
};

// UTC time to the second, "2026-12-08T14:03:11Z": the stored and answered form.
std::string historyTime(std::chrono::system_clock::time_point when = std::chrono::system_clock::now());

// Who makes a change and when; one stamp serves every history row of one transaction.
struct HistoryStamp {
    std::string_view user;
    std::string at;
};

} // namespace appserver
