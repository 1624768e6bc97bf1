#include "Catalog.h"

#include <array>
#include <unordered_map>

namespace appserver {

namespace {

// The names of referenced entities are looked up by key for each row (T is the operation type). A lookup
// by the full key of each table keeps one plan whatever the statistics say; as plain LEFT JOINs, a
// PostgreSQL planner with stale statistics chose a nested loop that took 450 ms for 1,000 rows.
constexpr std::array<RecordField, kTipOperFieldCount> kFields{{
    {"IDUTCUSORIGEST", 1, nullptr},
    {"IDTPIJURFORN", 1, nullptr},
    {"NRINSJURFORN", 20, nullptr},
    {"IDINFCPFCNPJNF", 1, nullptr},
    {"CDFORNECEDPADR", 21, nullptr},
    {"DSOPERNFAVISTA", 50, nullptr},
    {"NMRAZSOCFORN", 40, "(SELECT F.NMRAZSOCFORN FROM FORNECEDOR F WHERE F.CDFORNECED = T.CDFORNECEDPADR)"},
    {"IDGERADUPLI", 1, nullptr},
    {"IDPERALTDSEM", 1, nullptr},
    {"IDPERNUMENF", 1, nullptr},
    {"IDUTILEMISNF", 1, nullptr},
    {"CDTIPOOPER", 2, nullptr},
    {"NMTIPOOPER", 30, nullptr},
    {"IDGERANFCMP", 1, nullptr},
    {"IDENTRSAIDOP", 1, nullptr},
    {"IDORIGDESTOP", 1, nullptr},
    {"IDGERAVENC", 1, nullptr},
    {"IDUTILVENC", 1, nullptr},
    {"CDEXTIPOOPER", 10, nullptr},
    {"NMTIPOCUSTO", 50, "(SELECT C.NMTIPOCUSTO FROM TIPOCUSTO C WHERE C.CDTIPOCUSTO = T.CDTIPOCUSTO)"},
    {"DSOPERNFORIG", 30, nullptr},
    {"IDUTLLISTORI", 1, nullptr},
    {"IDNFORIGOBRI", 1, nullptr},
    {"IDOPERDEVONF", 1, nullptr},
    {"IDATUESTTPOP", 1, nullptr},
    {"CDTIPOCUSTO", 2, nullptr},
    {"CDPRECOBASE", 2, nullptr},
    {"DSPRECOBASE", 30, "(SELECT P.DSPRECOBASE FROM TABPRECO P WHERE P.CDPRECOBASE = T.CDPRECOBASE)"},
    {"IDDCORIGRELAC", 1, nullptr},
    {"IDSERIEAUTO", 1, nullptr},
    {"IDCONSCTBRAT", 1, nullptr},
    {"IDUTILVENCOBR", 1, nullptr},
    {"IDGERAVENCNFAP", 1, nullptr},
    {"IDUTGERNFTRAN", 1, nullptr},
    {"IDCONSPARFIS", 1, nullptr},
    {"IDNOTADEVO", 1, nullptr},
    {"IDBRINDETPOPER", 1, nullptr},
    {"IDUTILNFSE", 1, nullptr},
    {"IDCOAVRIMPVRPROD", 1, nullptr},
    {"IDNFPRESTSERV", 1, nullptr},
    {"IDNFESTCANC", 1, nullptr},
    {"IDNFAJUSTE", 1, nullptr},
    {"IDCONTABOPER", 1, nullptr},
    {"IDUTCTRLAIDF", 1, nullptr},
    {"IDNFIMPORTACAO", 1, nullptr},
    {"IDTIPOOPERELE", 1, nullptr},
    {"IDOPERDEVOOL", 1, nullptr},
    {"IDOBRDTREFFAT", 1, nullptr},
    {"IDALTDTREFAPROV", 1, nullptr},
    {"IDCONTSOMENIMPO", 1, nullptr},
    {"IDNFRETIND", 1, nullptr},
    {"IDCONTCONFORIG", 1, nullptr},
    {"IDDESCIMPRECCOFI", 1, nullptr},
    {"IDREMESSAINDU", 1, nullptr},
    {"IDOPTRIANGULAR", 1, nullptr},
    {"IDENTRTERCEIRO", 1, nullptr},
    {"IDCMPVNDBONI", 1, nullptr},
    {"IDUTLOCPRESTSERV", 1, nullptr},
    {"IDBLOQFECHADIANF", 1, nullptr},
    {"IDCALCDIFALDENT", 1, nullptr},
    {"IDCONSANACONC", 1, nullptr},
    {"IDREMEINSUAPROV", 1, nullptr},
    {"IDESTVRESTCTBDEVVEND", 1, nullptr},
    {"IDNFDEBITO", 1, nullptr},
    {"IDAPROVAUTOPS", 1, nullptr},
    {"IDBONIFICACAO", 1, nullptr},
    {"IDREGESPECIAL", 1, nullptr},
    {"IDESTORNONFCE", 1, nullptr},
    {"IDREARATMANNF", 1, nullptr},
    {"CDEVENTOSNCM", 12, nullptr},
    {"IDNTRANSCREICMS", 1, nullptr},
    {"DSOPERENCRATPL", 300, nullptr},
    {"CDTIPOOPERBONIF", 40, nullptr},
    {"NMBONIFICACAO", 30,
     "(SELECT B.NMTIPOOPER FROM TIPOOPERAC B WHERE B.IDENTRSAIDOP = T.IDENTRSAIDOP"
     " AND B.CDTIPOOPER = T.CDTIPOOPERBONIF)"},
    {"IDBLOQPRESTTPOP", 1, nullptr},
    {"IDCALCVALFRETE", 1, nullptr},
    {"IDNFSTMANUAL", 1, nullptr},
    {"IDIMPDSPRODEMIS", 1, nullptr},
    {"IDCONSLISPRECO", 1, nullptr},
    {"IDNFIMPORTACAOIND", 1, nullptr},
    {"IDBLOQNFFORAMES", 1, nullptr},
    {"IDSUGQTDTOTDEV", 1, nullptr},
}};

std::vector<int> storedColumns() {
    std::vector<int> out;
    for (int i = 0; i < kTipOperFieldCount; ++i)
        if (kFields[static_cast<std::size_t>(i)].stored()) out.push_back(i);
    return out;
}

} // namespace

std::span<const RecordField> tipOperFields() {
    return kFields;
}

int tipOperFieldIndex(std::string_view name) {
    static const auto index = [] {
        std::unordered_map<std::string_view, int> m;
        for (int i = 0; i < kTipOperFieldCount; ++i)
            m.emplace(kFields[static_cast<std::size_t>(i)].name, i);
        return m;
    }();
    auto it = index.find(name);
    return it == index.end() ? -1 : it->second;
}

std::span<const int> tipOperStoredColumns() {
    static const std::vector<int> columns = storedColumns();
    return columns;
}

PacketLayout::PacketLayout(std::vector<wire::FieldDef> defs) : fields(std::move(defs)) {
    wire::DataPacket empty;
    empty.fields = fields;
    head = wire::dumpDataPacket(empty);
    // The empty packet ends in "]}"; the rows are appended before that closing.
    head.resize(head.size() - 2);
}

const PacketLayout& tipOperLayout() {
    static const PacketLayout layout = [] {
        std::vector<wire::FieldDef> defs;
        for (const auto& f : kFields)
            defs.push_back({std::string(f.name), "string", f.size});
        return PacketLayout(std::move(defs));
    }();
    return layout;
}

const PacketLayout& messageLineLayout() {
    static const PacketLayout layout({{"NRMENSTPOPER", "string", 10},
                                      {"CDMENSAGEM", "string", 3},
                                      {"CDTIPOOPER", "string", 2},
                                      {"IDENTRSAIDOP", "string", 1},
                                      {"DSMENSAGEM", "string", 120}});
    return layout;
}

const PacketLayout& costTypeLayout() {
    static const PacketLayout layout({{"CDTIPOCUSTO", "string", 2}, {"NMTIPOCUSTO", "string", 50}});
    return layout;
}

const PacketLayout& priceTableLayout() {
    static const PacketLayout layout({{"CDPRECOBASE", "string", 2}, {"DSPRECOBASE", "string", 30}});
    return layout;
}

const PacketLayout& bonusTypeLayout() {
    static const PacketLayout layout({{"CDTIPOOPER", "string", 2}, {"NMTIPOOPER", "string", 30}});
    return layout;
}

const PacketLayout& usageLayout() {
    static const PacketLayout layout({{"IDENTRSAIDOP", "string", 1},
                                      {"CDTIPOOPER", "string", 2},
                                      {"NMTIPOOPER", "string", 30},
                                      {"DSUSO", "string", 16}});
    return layout;
}

std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

} // namespace appserver
