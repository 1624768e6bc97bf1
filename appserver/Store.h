#pragma once

// The twelve operations of the application server on one database session. Get operations answer with
// the JSON text of their data packet; Set operations apply their change in one transaction and throw
// RpcError for a refusal (nothing is then written).

#include "Accounts.h"
#include "Database.h"
#include "History.h"
#include "TipOperChanges.h"
#include "wire/Packet.h"

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace appserver {

struct PacketLayout;

// SetMensTipOper's first six arguments, in the order the screen sends them, and the line as the
// screen read it (the eighth argument), which an update of an existing line is compared against.
struct MessageLineArgs {
    std::string_view number;      // NRMENSTPOPER; empty for a new line
    std::string_view code;        // CDTIPOOPER of the operation type
    std::string_view kind;        // IDENTRSAIDOP of the operation type
    std::string_view messageCode; // CDMENSAGEM
    std::string_view text;        // DSMENSAGEM
    std::string_view operation;   // "C" post a line, "D" delete the lines of the change packet
    const wire::Row* original = nullptr; // null from a caller that does not send it
};

class Store {
public:
    explicit Store(const DatabaseUrl& url);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // The query behind GetTipOper, with the given placeholder for the kind.
    static std::string recordQuery(std::string_view kindParameter);

    Dialect dialect() const { return db_.dialect(); }
    Database& database() { return db_; }

    std::string getTipOper(std::string_view kind);
    std::string getFiltro(std::string_view kind);
    std::string getMensTipoOper(std::string_view code, std::string_view kind);
    std::string getVdCusto(std::string_view code);
    std::string getCusto();
    std::string getVdPreco(std::string_view code);
    std::string getPreco();
    std::string getVdBonif(std::string_view code, std::string_view kind);
    std::string getBonificacao(std::string_view kind);
    bool getVdControleFiscal(std::string_view code, std::string_view kind);
    // {"entries":[...],"truncated":bool}: the operation type's history, newest first, at most
    // kMaxHistoryEntries entries.
    std::string getHistTipOper(std::string_view code, std::string_view kind);
    // Data packet of the operation types that reference this one as their bonus type or in their
    // origin-document list.
    std::string getUsoTipOper(std::string_view code, std::string_view kind);

    // Writes carry the user who makes them.
    void setTipOper(const wire::ChangePacket& packet, std::string_view emptyFields, const Identity& who);
    void setMensTipOper(const MessageLineArgs& args, const wire::ChangePacket* deletions, const Identity& who);

private:
    enum class Query {
        TipOper,
        MessageLines,
        CostType,
        CostTypes,
        PriceTable,
        PriceTables,
        BonusType,
        BonusTypes,
        FiscalControl,
        CurrentRow,
        OperationExists,
        CurrentLine,
        LastLine,
        History,
        Usage,
        Count
    };
    struct Writes;

    static std::string sqlOf(Query query, Dialect dialect);
    Reader& reader(Query query);
    std::string packet(Query query, const PacketLayout& layout, std::span<const std::string_view> params);
    bool loadCurrent(const OperationKey& key);
    bool operationExists(std::string_view code, std::string_view kind);
    using StoredValues = std::array<std::optional<std::string_view>, kTipOperStoredCount>;
    // The stored text of a message line's message code and text.
    struct LineText {
        std::optional<std::string> code;
        std::optional<std::string> text;
    };

    void applyChange(const CheckedChange& change, const EmptyFieldSet& emptyFields, const HistoryStamp& stamp);
    void bindRow(Command& command, const StoredValues& values);
    StoredValues storedView() const; // the row read last, as values
    StoredValues valuesToStore(const CheckedChange& change, const EmptyFieldSet& emptyFields, bool keepCurrent) const;
    void postLine(const MessageLineArgs& args, const HistoryStamp& stamp);
    LineText checkCurrentLine(const std::string& number, const OperationKey& owner, const wire::Row& original);
    void deleteLines(const MessageLineArgs& args, const wire::ChangePacket& deletions, const HistoryStamp& stamp);
    void recordHistory(const HistoryStamp& stamp, const OperationKey& key, std::string_view table,
                       std::optional<std::string_view> line, const FieldChanges& changes);
    void recordRecordChange(const HistoryStamp& stamp, const OperationKey& key, HistoryOp op,
                            const StoredValues& before, const StoredValues& after);
    void recordLineDeletions(const HistoryStamp& stamp, const OperationKey& owner);
    Writes& writes();

    Database db_;
    std::array<std::unique_ptr<Reader>, static_cast<std::size_t>(Query::Count)> readers_;
    std::array<std::size_t, static_cast<std::size_t>(Query::Count)> lastSize_{};
    std::unique_ptr<Writes> writes_;
    std::array<std::optional<std::string>, kTipOperStoredCount>
        current_; // stored columns of the row read last
};

} // namespace appserver
