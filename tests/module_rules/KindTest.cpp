// The form page of each kind (options shown, lookups offered, their arrangement), the options that
// follow the origin/destination, typing in the "Gera Nota Compra" list, and the handler binding.

#include "RulesFixture.h"
#include "screen/Embedded.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

using rules_testing::RulesTest;

using KindTest = RulesTest;

// The visible state of every control on the form page's option group, by name.
std::map<std::string, bool> visibleOptions(const tk::Form& form) {
    std::map<std::string, bool> out;
    const tk::Control* group = form.control("grbForm");
    for (const auto& c : form.controls())
        if (group->isAncestorOf(c.get())) out[c->name()] = c->visible();
    return out;
}

TEST_F(KindTest, SwitchingKindsBackAndForthShowsTheSameOptionsEachTime) {
    insertTipOper("E", "01", "Compra");
    insertTipOper("S", "01", "Venda");
    open();
    std::vector<std::map<std::string, bool>> seen;
    for (int kind : {0, 1, 0, 1}) {
        loadKind(kind);
        seen.push_back(visibleOptions(screen()));
    }
    EXPECT_EQ(seen[2], seen[0]) << "Entrada after Saída";
    EXPECT_EQ(seen[3], seen[1]) << "Saída after Entrada";
    EXPECT_NE(seen[0], seen[1]);

    // A sample of each column of the visibility rules.
    const std::tuple<const char*, bool, bool> expected[] = {
        {"dckNFSTManual", true, false},    {"dckRealAprovAuto", true, false},
        {"dbcIdGeraVenNf", true, false},   {"dckVencObri", false, true},
        {"dckUtlEmisNFSe", false, true},   {"dckCalcValFrete", false, true},
        {"dckRegEspecial", true, true},    {"dckNfEstNfce", true, true},
        {"dckPortCatSP", false, true},     {"dckImpProdEmis", false, true},
        {"dckContabImpProd", true, false}, {"dckContabNFOrigem", false, true},
    };
    for (const auto& [name, entrada, saida] : expected) {
        EXPECT_EQ(seen[0].at(name), entrada) << name << " em Entrada";
        EXPECT_EQ(seen[1].at(name), saida) << name << " em Saída";
    }
}

struct LookupCase {
    int kind;
    bool costAndPrice;
    const char* caption;
};
void PrintTo(const LookupCase& c, std::ostream* os) {
    *os << (c.kind == 0 ? "Entrada" : "Saída");
}

class KindLookupTest : public RulesTest, public ::testing::WithParamInterface<LookupCase> {};

TEST_P(KindLookupTest, TheKindDecidesWhichLookupsAreOfferedAndTheBonusCaption) {
    const auto& c = GetParam();
    open();
    // Start from the other kind, so that every state below was set by the switch.
    loadKind(1 - c.kind);
    loadKind(c.kind);
    for (const char* name :
         {"lblCentCust", "dbeSetor", "btpPesqSetor", "lblPreco", "dbePreco", "btnPesqPreco"})
        EXPECT_EQ(control(name).enabled(), c.costAndPrice) << name;
    for (const char* name : {"dbeSetor", "dbePreco"})
        EXPECT_EQ(control(name).color(), c.costAndPrice ? "clWindow" : "clBtnFace") << name;
    for (const char* name : {"lblBonificacao", "dbeBonificacao", "btnPesqTpBonif"})
        EXPECT_TRUE(control(name).enabled()) << name;
    EXPECT_EQ(control("dbeBonificacao").color(), "clWindow");
    EXPECT_EQ(control("dckBonificacao").caption(), c.caption);
}

INSTANTIATE_TEST_SUITE_P(Kinds, KindLookupTest,
                         ::testing::Values(LookupCase{0, false, "Compra/Bonificação"},
                                           LookupCase{1, true, "Venda/Bonificação"}));

TEST_F(KindTest, TheOptionsOfTheKindStandTogetherInTheOrderOfTheArrangement) {
    insertTipOper("E", "01", "Compra");
    insertTipOper("S", "01", "Venda");
    open();
    std::map<int, int> heights;
    for (int kind : {0, 1}) {
        loadKind(kind);
        const auto layout =
            screen::definition().arrange(kind == 0 ? screen::Kind::Entrada : screen::Kind::Saida);
        std::set<std::pair<int, int>> cells;
        std::vector<std::pair<int, std::string>> byTabOrder;
        for (const auto& p : layout.placements) {
            const tk::Control& c = control(p.name.c_str());
            EXPECT_TRUE(c.visible()) << p.name << " is arranged but hidden in kind " << kind;
            ASSERT_TRUE(c.bounds()) << p.name;
            EXPECT_TRUE(cells.insert({c.bounds()->left, c.bounds()->top}).second)
                << p.name << " shares its place";
            byTabOrder.emplace_back(c.tabOrder(), p.name);
        }
        std::sort(byTabOrder.begin(), byTabOrder.end());
        std::vector<std::string> order;
        for (const auto& [tab, name] : byTabOrder)
            order.push_back(name);
        EXPECT_EQ(order, screen::definition()
                             .arrangement.of(kind == 0 ? screen::Kind::Entrada : screen::Kind::Saida)
                             .tabOrder());
        heights[kind] = control("grbForm").bounds()->height;
        EXPECT_EQ(heights[kind], layout.containerHeight);
    }
    // The group is sized for each kind, not once.
    EXPECT_NE(heights[0], heights[1]);
    loadKind(0);
    const auto tab = [this](const char* name) { return control(name).tabOrder(); };
    EXPECT_EQ(tab("dbcNfAjuste"), tab("dckRealAprovAuto") + 1);
    EXPECT_LT(tab("dckIdUtilVenc"), tab("dbcEmiss")) << "down the left column first";
    EXPECT_LT(tab("dckBonificacao"), tab("dckIdGeraVenc")) << "then down the right column";
}

struct OriginCase {
    const char* kind;
    const char* stored; // the origin shown before the pick, chosen so that the pick changes something
    int origin;         // 0 Fornecedor, 1 Cliente, 2 Filial
    bool transferNote;
    bool cpf;
};
void PrintTo(const OriginCase& c, std::ostream* os) {
    *os << c.kind << " " << c.stored << "->" << c.origin;
}

class OriginTest : public RulesTest, public ::testing::WithParamInterface<OriginCase> {};

TEST_P(OriginTest, PickingTheOriginDecidesTheTransferNoteAndTheCpfOption) {
    const auto& c = GetParam();
    alter(c.kind, {{"IDORIGDESTOP", c.stored}});
    ASSERT_NE(screen().dcbIdOrigDestOp->itemIndex(), c.origin);
    expectOk(tk::Input::pick(screen(), "dcbIdOrigDestOp", c.origin));
    EXPECT_EQ(control("dckGeraNFTrans").enabled(), c.transferNote);
    EXPECT_EQ(control("dckInfCPF").enabled(), c.cpf);
}

INSTANTIATE_TEST_SUITE_P(
    Origins, OriginTest,
    ::testing::Values(OriginCase{"S", "C", 2, true, false}, OriginCase{"S", "L", 0, false, false},
                      OriginCase{"E", "C", 2, false, false}, OriginCase{"E", "F", 1, false, false},
                      OriginCase{"E", "F", 2, false, false}, OriginCase{"E", "L", 0, false, true}));

struct KeyCase {
    const char* label;
    const char* stored; // IDGERANFCMP before the key
    std::uint16_t key;
    tk::ShiftState shift;
    const char* expected;
};
void PrintTo(const KeyCase& c, std::ostream* os) {
    *os << c.label;
}

class GeraNotaKeyTest : public RulesTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(GeraNotaKeyTest, TypingSOrNWhileEditingWritesTheField) {
    const auto& c = GetParam();
    alter("E", {{"IDGERANFCMP", c.stored}});
    expectOk(tk::Input::key(screen(), "dbcIdGeraNFCmp", c.key, c.shift));
    EXPECT_EQ(field("IDGERANFCMP"), c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, GeraNotaKeyTest,
    ::testing::Values(KeyCase{"S", "N", 'S', {}, "S"}, KeyCase{"s minúsculo", "N", 'S', {.shift = true}, "S"},
                      // With Ctrl held the list itself ignores the letter; only the rule writes it.
                      KeyCase{"Ctrl+S", "N", 'S', {.ctrl = true}, "S"},
                      KeyCase{"Ctrl+N", "S", 'N', {.ctrl = true}, "N"},
                      KeyCase{"outra tecla", "S", 'X', {}, "S"},
                      KeyCase{"Ctrl+outra", "S", 'X', {.ctrl = true}, "S"}));

TEST_F(KindTest, TypingInTheGeraNotaListWhileBrowsingWritesNothing) {
    show("E", {{"IDGERANFCMP", "N"}});
    expectOk(tk::Input::page(screen(), "tshFormulario"));
    expectOk(tk::Input::key(screen(), "dbcIdGeraNFCmp", 'S', {.ctrl = true}));
    expectOk(tk::Input::key(screen(), "dbcIdGeraNFCmp", 'S'));
    EXPECT_EQ(field("IDGERANFCMP"), "N");
    EXPECT_EQ(screen().cdsTipOper.state(), tk::DataSetState::Browse);
}

TEST(HandlerBinding, EveryHandlerTheDefinitionNamesIsBound) {
    EXPECT_EQ(Cli_ger06600::unboundHandlers(), std::vector<std::string>{});
}

} // namespace
