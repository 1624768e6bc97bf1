// The contract of each operation against a demo database, on every backend.

#include "Fixture.h"
#include "wire/Rpc.h"

#include <set>

using harness::json;
namespace rpc = wire::rpc;

class Operations : public ServerTest {};
TIPOPER_ALL_BACKENDS(Operations);

TEST_P(Operations, DemoAnswersBothKindsWithTheRecordLayout) {
    auto c = client();
    std::set<std::string> codes;
    for (const char* kind : {"E", "S"}) {
        const json packet = ok(c->call("GetTipOper", {kind}));
        ASSERT_EQ(packet["fields"].size(), 82u);
        EXPECT_EQ(packet["fields"][0], (json{{"name", "IDUTCUSORIGEST"}, {"type", "string"}, {"size", 1}}));
        EXPECT_EQ(packet["fields"][71],
                  (json{{"name", "DSOPERENCRATPL"}, {"type", "string"}, {"size", 300}}));
        EXPECT_EQ(packet["fields"][81]["name"], "IDSUGQTDTOTDEV");
        const auto rows = harness::records(packet);
        ASSERT_GE(rows.size(), 10u) << kind;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            EXPECT_EQ(rows[i]["IDENTRSAIDOP"], kind);
            if (i) {
                EXPECT_LT(rows[i - 1]["CDTIPOOPER"].get<std::string>(),
                          rows[i]["CDTIPOOPER"].get<std::string>());
            }
            codes.insert(rows[i]["CDTIPOOPER"].get<std::string>());
        }
        // The reload selection is the same as the first load's.
        EXPECT_EQ(ok(c->call("GetFiltro", {kind})), packet);
    }
    for (const char* special : {"03", "04", "05", "06", "10", "11", "13"})
        EXPECT_TRUE(codes.count(special)) << special;

    // Names of referenced entities come by join.
    const json e01 = record(*c, "E", "01");
    EXPECT_EQ(e01["NMTIPOCUSTO"], "Custo médio ponderado");
    EXPECT_EQ(e01["DSPRECOBASE"], "Tabela varejo");
    EXPECT_EQ(e01["NMRAZSOCFORN"], nullptr);
    EXPECT_EQ(record(*c, "S", "01")["NMBONIFICACAO"], "Remessa em bonificação");
    EXPECT_EQ(record(*c, "E", "12")["NMRAZSOCFORN"], "Manutenção Predial Horizonte Ltda");
    EXPECT_EQ(ok(c->call("GetTipOper", {"X"}))["rows"].size(), 0u);
}

TEST_P(Operations, LookupPacketsCarryTheDeclaredFieldsAndRows) {
    struct Case {
        const char* method;
        json args;
        std::vector<std::pair<const char*, int>> fields;
        std::size_t rows;
    };
    const std::vector<std::pair<const char*, int>> cost{{"CDTIPOCUSTO", 2}, {"NMTIPOCUSTO", 50}};
    const std::vector<std::pair<const char*, int>> price{{"CDPRECOBASE", 2}, {"DSPRECOBASE", 30}};
    const std::vector<std::pair<const char*, int>> bonus{{"CDTIPOOPER", 2}, {"NMTIPOOPER", 30}};
    const std::vector<std::pair<const char*, int>> lines{
        {"NRMENSTPOPER", 10}, {"CDMENSAGEM", 3}, {"CDTIPOOPER", 2}, {"IDENTRSAIDOP", 1}, {"DSMENSAGEM", 120}};
    const std::vector<Case> cases = {
        {"GetVdCusto", {"01"}, cost, 1},
        {"GetVdCusto", {"99"}, cost, 0},
        {"GetVdCusto", {""}, cost, 0},
        {"GetCusto", json::array(), cost, 5},
        {"GetVdPreco", {"02"}, price, 1},
        {"GetVdPreco", {"1"}, price, 0},
        {"GetPreco", json::array(), price, 5},
        {"GetVdBonif", {"05", "S"}, bonus, 1},
        {"GetVdBonif", {"14", "S"}, bonus, 0},
        {"GetVdBonif", {"14", "E"}, bonus, 1},
        {"GetBonificacao", {"S"}, bonus, 11},
        {"GetBonificacao", {"E"}, bonus, 13},
        {"GetMensTipoOper", {"01", "S"}, lines, 3},
        {"GetMensTipoOper", {"01", "E"}, lines, 2},
        {"GetMensTipoOper", {"", "E"}, lines, 0},
    };
    auto c = client();
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.method) + k.args.dump());
        const json packet = ok(c->call(k.method, k.args));
        ASSERT_EQ(packet["fields"].size(), k.fields.size());
        for (std::size_t i = 0; i < k.fields.size(); ++i) {
            EXPECT_EQ(packet["fields"][i]["name"], k.fields[i].first);
            EXPECT_EQ(packet["fields"][i]["size"], k.fields[i].second);
        }
        EXPECT_EQ(packet["rows"].size(), k.rows);
    }
    EXPECT_EQ(ok(c->call("GetVdCusto", {"01"}))["rows"][0], (json{"01", "Custo médio ponderado"}));
}

TEST_P(Operations, FiscalControlBlocksOnlyAccessoryExpenseOfThatCodeAndKind) {
    auto c = client();
    const std::vector<std::tuple<const char*, const char*, bool>> cases = {
        {"14", "E", true}, {"14", "S", false}, {"01", "S", false}, {"01", "E", false}, {"", "", false}};
    for (const auto& [code, kind, blocked] : cases)
        EXPECT_EQ(ok(c->call("GetVdControleFiscal", {code, kind})), blocked) << code << kind;
}

TEST_P(Operations, InsertModifyDeleteRoundTripAndJoinedNamesAreNotWritten) {
    auto c = client();
    json row = record(*c, "E", "01");
    row["CDTIPOOPER"] = "50";
    row["NMTIPOOPER"] = "Compra em consignação";
    row["NMTIPOCUSTO"] = "Nome que o cliente inventou";
    row["CDTIPOCUSTO"] = "02";
    const json answer =
        ok(c->call("SetTipOper", {harness::changes({harness::insert(row)}), "CDEVENTOSNCM|"}));
    EXPECT_EQ(answer, (json{{"stCampoNull", "CDEVENTOSNCM|"}}));

    json stored = record(*c, "E", "50");
    ASSERT_TRUE(stored.is_object());
    EXPECT_EQ(stored["NMTIPOOPER"], "Compra em consignação");
    EXPECT_EQ(stored["NMTIPOCUSTO"], "Custo de reposição");
    EXPECT_EQ(stored["DSOPERENCRATPL"], "01,02,05");

    json changed = stored;
    changed["NMTIPOOPER"] = "Compra consignada";
    ok(c->call("SetTipOper", {harness::changes({harness::modify(stored, changed)}), ""}));
    EXPECT_EQ(record(*c, "E", "50")["NMTIPOOPER"], "Compra consignada");

    ok(c->call("SetTipOper", {harness::changes({harness::remove(record(*c, "E", "50"))}), ""}));
    EXPECT_EQ(record(*c, "E", "50"), nullptr);
    EXPECT_EQ(refused(c->call("SetTipOper", {harness::changes({harness::remove(stored)}), ""})),
              rpc::kConflict);

    // An existing key is refused with its name; the other kind's code is free.
    row["CDTIPOOPER"] = "01";
    const json dup = c->call("SetTipOper", {harness::changes({harness::insert(row)}), ""});
    EXPECT_EQ(refused(dup), rpc::kDuplicateKey);
    EXPECT_EQ(dup["error"]["message"], "Tipo de operação E-01 já cadastrado.");
    row["IDENTRSAIDOP"] = "S";
    row["CDTIPOOPER"] = "14";
    ok(c->call("SetTipOper", {harness::changes({harness::insert(row)}), ""}));
}

TEST_P(Operations, DeletingAnOperationTypeDeletesItsMessageLines) {
    auto c = client();
    ASSERT_EQ(ok(c->call("GetMensTipoOper", {"01", "S"}))["rows"].size(), 3u);
    ok(c->call("SetTipOper", {harness::changes({harness::remove(record(*c, "S", "01"))}), ""}));
    json row = record(*c, "S", "02");
    row["CDTIPOOPER"] = "01";
    ok(c->call("SetTipOper", {harness::changes({harness::insert(row)}), ""}));
    EXPECT_EQ(ok(c->call("GetMensTipoOper", {"01", "S"}))["rows"].size(), 0u);
}

TEST_P(Operations, PacketWithOneBadRowIsRolledBackWhole) {
    auto c = client();
    const json e01 = record(*c, "E", "01");
    json e01New = e01;
    e01New["NMTIPOOPER"] = "Novo nome de E-01";
    json fresh = e01;
    fresh["CDTIPOOPER"] = "60";
    json stale = record(*c, "E", "02");
    stale["NMTIPOOPER"] = "Outro nome lido antes";
    json e02New = stale;
    e02New["IDATUESTTPOP"] = "S";
    json tooLong = fresh;
    tooLong["CDTIPOOPER"] = "61";
    tooLong["NMTIPOOPER"] = std::string(31, 'x');

    // Refused by a check before the transaction, and by a conflict found inside it.
    const json late = c->call(
        "SetTipOper",
        {harness::changes({harness::insert(fresh), harness::modify(e01, e01New), harness::insert(tooLong)}),
         ""});
    EXPECT_EQ(refused(late), rpc::kValueTooLong);
    EXPECT_NE(late["error"]["message"].get<std::string>().find("NMTIPOOPER"), std::string::npos);
    EXPECT_EQ(
        refused(c->call("SetTipOper", {harness::changes({harness::insert(fresh), harness::modify(e01, e01New),
                                                         harness::modify(stale, e02New)}),
                                       ""})),
        rpc::kConflict);

    EXPECT_EQ(record(*c, "E", "60"), nullptr);
    EXPECT_EQ(record(*c, "E", "61"), nullptr);
    EXPECT_EQ(record(*c, "E", "01"), e01);
    // The session is sound after a rollback: statements first prepared inside it still serve.
    ok(c->call("SetTipOper", {harness::changes({harness::insert(fresh), harness::modify(e01, e01New)}), ""}));
    EXPECT_EQ(record(*c, "E", "60")["NMTIPOOPER"], e01["NMTIPOOPER"]);
    EXPECT_EQ(record(*c, "E", "01")["NMTIPOOPER"], "Novo nome de E-01");
}

TEST_P(Operations, EmptyFieldListStoresNullOnlyForEmptyValues) {
    auto c = client();
    json row = record(*c, "E", "01");
    row["CDTIPOOPER"] = "70";
    row["CDEXTIPOOPER"] = "";  // named: stored as NULL
    row["IDNFSTMANUAL"] = "S"; // named before the screen filled it: keeps "S"
    row["IDBLOQNFFORAMES"] = nullptr;
    row["DSOPERNFAVISTA"] = ""; // not named: stays ""
    const std::string list = "CDEXTIPOOPER|IDNFSTMANUAL|IDBLOQNFFORAMES|NMRAZSOCFORN|";
    EXPECT_EQ(ok(c->call("SetTipOper", {harness::changes({harness::insert(row)}), list})),
              (json{{"stCampoNull", list}}));
    json stored = record(*c, "E", "70");
    EXPECT_EQ(stored["CDEXTIPOOPER"], nullptr);
    EXPECT_EQ(stored["IDNFSTMANUAL"], "S");
    EXPECT_EQ(stored["IDBLOQNFFORAMES"], nullptr);
    EXPECT_EQ(stored["DSOPERNFAVISTA"], "");

    // The screen holds a NULL column as "": that is not another user's change.
    json seen = stored;
    seen["CDEXTIPOOPER"] = "";
    seen["IDBLOQNFFORAMES"] = "";
    json next = seen;
    next["NMTIPOOPER"] = "Depois do NULL";
    ok(c->call("SetTipOper", {harness::changes({harness::modify(seen, next)}), "CDEXTIPOOPER|"}));
    EXPECT_EQ(record(*c, "E", "70")["NMTIPOOPER"], "Depois do NULL");

    for (const char* bad : {"NAOEXISTE|", "CDEXTIPOOPER", "|", "CDEXTIPOOPER||"})
        EXPECT_EQ(refused(c->call("SetTipOper", {harness::changes({}), bad})), rpc::kInvalidParams) << bad;
}

TEST_P(Operations, ValuesAreCountedInCharactersAndNeverCut) {
    auto c = client();
    json row = record(*c, "S", "01");
    row["CDTIPOOPER"] = "80";
    row["NMTIPOOPER"] = "ÇÃÉÍÓÚçãéíóúâêôàÂÊÔÀüÜñÑõÕäëïö"; // 30 characters, 60 bytes
    json escaped = row;
    escaped["CDTIPOOPER"] = "82";
    escaped["NMTIPOOPER"] = "Tab\t\"aspas\" \\ fim\n\u0001";
    ok(c->call("SetTipOper", {harness::changes({harness::insert(row), harness::insert(escaped)}), ""}));
    EXPECT_EQ(record(*c, "S", "80")["NMTIPOOPER"], row["NMTIPOOPER"]);
    EXPECT_EQ(record(*c, "S", "82")["NMTIPOOPER"], escaped["NMTIPOOPER"]);

    struct Case {
        const char* field;
        std::string value;
        int code;
    };
    const std::vector<Case> cases = {
        {"NMTIPOOPER", row["NMTIPOOPER"].get<std::string>() + "x", rpc::kValueTooLong},
        {"DSOPERENCRATPL", std::string(301, '1'), rpc::kValueTooLong},
        {"IDATUESTTPOP", "SN", rpc::kValueTooLong},
        {"IDENTRSAIDOP", "X", rpc::kInvalidPacket},
        {"CAMPO_NOVO", "S", rpc::kInvalidPacket}};
    for (const auto& k : cases) {
        json bad = row;
        bad["CDTIPOOPER"] = "81";
        bad[k.field] = k.value;
        EXPECT_EQ(refused(c->call("SetTipOper", {harness::changes({harness::insert(bad)}), ""})), k.code)
            << k.field;
    }
    EXPECT_EQ(record(*c, "S", "81"), nullptr);
}

TEST_P(Operations, MessageLinesArePostedUpdatedAndDeleted) {
    auto c = client();
    auto lines = [&] { return harness::records(ok(c->call("GetMensTipoOper", {"05", "S"}))); };
    ASSERT_EQ(lines().size(), 1u);
    const std::string first = lines()[0]["NRMENSTPOPER"];

    ok(c->call("SetMensTipOper", {"", "05", "S", "002", "Segunda linha", "C", ""}));
    auto now = lines();
    ASSERT_EQ(now.size(), 2u);
    const std::string second = now[1]["NRMENSTPOPER"];
    EXPECT_GT(std::stoll(second), std::stoll(first));
    EXPECT_EQ(now[1]["DSMENSAGEM"], "Segunda linha");

    ok(c->call("SetMensTipOper", {second, "05", "S", "003", "Texto corrigido", "C", "", now[1]}));
    EXPECT_EQ(lines()[1]["DSMENSAGEM"], "Texto corrigido");
    EXPECT_EQ(lines()[1]["CDMENSAGEM"], "003");
    const json read = lines()[1];

    const struct {
        json args;
        int code;
    } refusals[] = {
        {{"999999", "05", "S", "001", "x", "C", "", {{"CDMENSAGEM", "003"}, {"DSMENSAGEM", "x"}}},
         rpc::kConflict}, // no such line
        {{second, "01", "S", "001", "x", "C", "", read}, rpc::kConflict},   // a line of another type
        {{second, "05", "S", "001", "x", "C", "", now[1]}, rpc::kConflict}, // read before the last change
        {{"", "77", "S", "001", "x", "C", ""}, rpc::kConflict},             // no such operation type
        // An update without the line as read would overwrite unseen changes.
        {{second, "05", "S", "001", "x", "C", ""}, rpc::kInvalidParams},
        {{second, "05", "S", "001", "x", "C", "", {{"CDMENSAGEM", "003"}}}, rpc::kInvalidParams},
        {{second, "05", "S", "001", "x", "C", "", "texto"}, rpc::kInvalidParams},
        {{second, "05", "S", "001", "x", "C", "", {{"DSMENSAGEM", 1}, {"CDMENSAGEM", "003"}}},
         rpc::kInvalidParams},
        {{second, "05", "S", "001", "x", "C", "", {{"OUTRO", "1"}, {"CDMENSAGEM", "003"}, {"DSMENSAGEM", "x"}}},
         rpc::kInvalidParams},
        {{second, "05", "S", "001", "x", "C", "", {{"NRMENSTPOPER", first}, {"CDMENSAGEM", "003"},
                                                 {"DSMENSAGEM", "Texto corrigido"}}},
         rpc::kInvalidParams}, // the original of another line
        {{"", "05", "S", "0001", "x", "C", ""}, rpc::kValueTooLong},
        {{"", "05", "S", "001", std::string(121, 'y'), "C", ""}, rpc::kValueTooLong},
        {{"12a", "05", "S", "001", "x", "C", ""}, rpc::kInvalidParams},
        {{"", "05", "S", "001", "x", "X", ""}, rpc::kInvalidParams},
        {{"", "05", "S", "001", "x", "C", "nao vazio"}, rpc::kInvalidParams},
        {{"", "05", "S", "", "", "D", harness::changes({})}, rpc::kInvalidPacket},
        // A deletion compares the line as read: the packet must carry it.
        {{"", "05", "S", "", "", "D", harness::changes({harness::remove({{"NRMENSTPOPER", second}})})},
         rpc::kInvalidPacket},
    };
    for (const auto& r : refusals)
        EXPECT_EQ(refused(c->call("SetMensTipOper", r.args)), r.code) << r.args.dump();
    EXPECT_EQ(lines().size(), 2u);

    // A deletion carries the deleted line in the change packet; arguments 1, 4 and 5 describe another line.
    json stale = now[1];
    EXPECT_EQ(refused(c->call("SetMensTipOper", {first, "05", "S", "001", "", "D",
                                                 harness::changes({harness::remove(stale)})})),
              rpc::kConflict);
    const json deleted = lines()[1];
    ok(c->call("SetMensTipOper",
               {first, "05", "S", "001", "", "D", harness::changes({harness::remove(deleted)})}));
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_EQ(lines()[0]["NRMENSTPOPER"], first);
    EXPECT_EQ(refused(c->call("SetMensTipOper",
                              {"", "05", "S", "", "", "D", harness::changes({harness::remove(deleted)})})),
              rpc::kConflict);

    // Numbers are never reused: a client holding a deleted line's number cannot overwrite a new line.
    ok(c->call("SetMensTipOper", {"", "05", "S", "004", "Depois da exclusão", "C", ""}));
    EXPECT_GT(std::stoll(lines()[1]["NRMENSTPOPER"].get<std::string>()), std::stoll(second));
}

// An original that holds only some columns could not be compared: another user's change of the others
// would be overwritten or deleted unseen.
TEST_P(Operations, ModifyAndDeleteMustCarryTheWholeOriginalRecord) {
    auto c = client();
    const json stored = record(*c, "E", "03");
    json changed = stored;
    changed["NMTIPOOPER"] = "Com original parcial";
    json keyOnly = {{"IDENTRSAIDOP", "E"}, {"CDTIPOOPER", "03"}};
    json withoutOne = stored;
    withoutOne.erase("IDATUESTTPOP");
    for (const json& old : {keyOnly, withoutOne}) {
        for (const json& change : {harness::modify(old, changed), harness::remove(old)}) {
            const json answer = c->call("SetTipOper", {harness::changes({change}), ""});
            EXPECT_EQ(refused(answer), rpc::kInvalidPacket) << change["op"] << old.size();
            EXPECT_NE(answer["error"]["message"].get<std::string>().find("registro inteiro"), std::string::npos);
        }
    }
    EXPECT_EQ(record(*c, "E", "03"), stored);
    // The names read from other tables are not stored: an original without them still compares.
    json storedOnly = stored;
    for (const char* joined : {"NMRAZSOCFORN", "NMTIPOCUSTO", "DSPRECOBASE", "NMBONIFICACAO"})
        storedOnly.erase(joined);
    ok(c->call("SetTipOper", {harness::changes({harness::modify(storedOnly, changed)}), ""}));
    EXPECT_EQ(record(*c, "E", "03")["NMTIPOOPER"], "Com original parcial");
}
