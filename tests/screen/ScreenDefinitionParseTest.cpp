// Reading a definition: the embedding, the errors a broken definition reports, the lookups and the
// per-kind arrangement of the option check boxes.

#include "screen/Embedded.h"

#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

using namespace screen;
using nlohmann::json;

namespace {

json embedded() {
    return json::parse(embeddedDefinitionJson());
}

json& controlNamed(json& root, std::string_view name) {
    for (auto& c : root["controls"])
        if (c["name"] == name) return c;
    throw std::out_of_range(std::string(name));
}

json& recordField(json& root, std::string_view name) {
    for (auto& f : root["dataSets"][0]["fields"])
        if (f["name"] == name) return f;
    throw std::out_of_range(std::string(name));
}

int errorIdOf(const std::string& text) {
    try {
        parseDefinition(text);
    } catch (const DefinitionError& e) {
        const std::string prefix = "[screen.definition." + std::to_string(e.id()) + "] ";
        EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0U) << e.what();
        return e.id();
    }
    return 0;
}

} // namespace

TEST(ScreenDefinitionEmbedding, CompiledBytesEqualTheSourceFile) {
    std::ifstream in(TIPOPER_SCREEN_JSON_PATH, std::ios::binary);
    ASSERT_TRUE(in) << TIPOPER_SCREEN_JSON_PATH;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(embeddedDefinitionJson(), bytes.str());
}

TEST(ScreenDefinitionEmbedding, ParsedOnceForEveryThread) {
    std::vector<const Definition*> seen(4, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = &definition(); });
    for (auto& t : threads)
        t.join();
    for (const Definition* d : seen)
        EXPECT_EQ(d, seen[0]);
    EXPECT_EQ(seen[0]->version, 1);
}

TEST(ScreenDefinitionParse, BrokenDefinitionsReportTheirErrorId) {
    struct Case {
        const char* what;
        std::function<void(json&)> mutate;
        int id;
    };
    const std::vector<Case> cases = {
        {"version not supported", [](json& j) { j["version"] = 2; }, 103},
        {"control without name", [](json& j) { j["controls"][0].erase("name"); }, 102},
        {"control without parent member", [](json& j) { controlNamed(j, "dckDocDevo").erase("parent"); },
         102},
        {"caption not text", [](json& j) { controlNamed(j, "dckDocDevo")["caption"] = 5; }, 103},
        {"unknown control type", [](json& j) { controlNamed(j, "dckDocDevo")["type"] = "TButton"; }, 103},
        {"item index past the items", [](json& j) { controlNamed(j, "cbbEntSaid")["itemIndex"] = 2; }, 103},
        {"half a geometry", [](json& j) { controlNamed(j, "dckDocDevo").erase("height"); }, 103},
        {"field of size zero", [](json& j) { recordField(j, "CDTIPOOPER")["size"] = 0; }, 103},
        {"catalogue line without bar", [](json& j) { j["catalogues"]["msgPadrao"][3] = "SSim"; }, 103},
        {"handler name empty", [](json& j) { controlNamed(j, "dckDocDevo")["events"]["OnClick"] = ""; }, 103},
        {"duplicate control", [](json& j) { j["controls"].push_back(controlNamed(j, "rbtNenhum")); }, 104},
        {"control named like a dataset", [](json& j) { controlNamed(j, "lblNome")["name"] = "cdsTipOper"; },
         104},
        {"duplicate field",
         [](json& j) { j["dataSets"][0]["fields"].push_back(recordField(j, "NMTIPOOPER")); }, 104},
        {"duplicate catalogue key", [](json& j) { j["catalogues"]["msgPadrao"].push_back("F|Outro"); }, 104},
        {"parent missing", [](json& j) { controlNamed(j, "rbtTodosF")["parent"] = "grbNada"; }, 105},
        {"data source missing", [](json& j) { controlNamed(j, "dckDocDevo")["dataSource"] = "dtsNada"; },
         105},
        {"field not in the dataset", [](json& j) { controlNamed(j, "dckDocDevo")["field"] = "IDNADA"; }, 105},
        {"grid column not a field",
         [](json& j) { controlNamed(j, "dbgMensagem")["columns"][0]["field"] = "X"; }, 105},
        {"associate missing", [](json& j) { controlNamed(j, "btpPesqSetor")["associate"] = "dbeNada"; }, 105},
        {"active control missing", [](json& j) { j["form"]["activeControl"] = "cbbNada"; }, 105},
        {"arranged control missing", [](json& j) { j["arrangement"]["E"]["lower"].push_back({"dckNada"}); },
         105},
        {"parent not a container", [](json& j) { controlNamed(j, "rbtTodosF")["parent"] = "dckDocDevo"; },
         106},
        {"parent declared after child",
         [](json& j) { controlNamed(j, "rbtTodosF")["parent"] = "panMensagem"; }, 106},
        {"field control bound elsewhere",
         [](json& j) { recordField(j, "IDOPERDEVONF")["control"] = "dckInfCPF"; }, 106},
        {"arranged control outside the group",
         [](json& j) { j["arrangement"]["S"]["lower"].push_back({"dbeSetor"}); }, 106},
        {"misspelt member", [](json& j) { controlNamed(j, "btpDocOrigem")["enabeld"] = false; }, 107},
        {"unknown top-level member", [](json& j) { j["extras"] = json::object(); }, 107},
    };
    for (const Case& c : cases) {
        json root = embedded();
        c.mutate(root);
        EXPECT_EQ(errorIdOf(root.dump()), c.id) << c.what;
    }
    EXPECT_EQ(errorIdOf("{\"version\": 1,"), 101);
    EXPECT_EQ(errorIdOf(embedded().dump()), 0) << "the unmodified definition is valid";
}

TEST(ScreenDefinitionLookups, FindByNameOrFailClearly) {
    const Definition& d = definition();
    EXPECT_EQ(d.findControl("dckNada"), nullptr);
    EXPECT_THROW(d.control("dckNada"), std::out_of_range);
    EXPECT_THROW(d.dataSet("cdsNada"), std::out_of_range);
    EXPECT_THROW(d.catalogue("msgNada"), std::out_of_range);
    EXPECT_EQ(d.dataSet("cdsTipOper").fieldIndex("CDTIPOOPER"), 11);
    EXPECT_EQ(d.dataSet("cdsTipOper").fieldIndex("NADA"), -1);
    EXPECT_EQ(d.fieldsOf("dtsFornecedor"), &d.query("qryFornecedor"));
    EXPECT_EQ(d.fieldsOf("dtsPadrao"), &d.dataSet("cdsTipOper"));
    EXPECT_EQ(d.fieldsOf("dtsNada"), nullptr);
    EXPECT_EQ(d.dataSet("cdsMensTipoOper").field("CDMENSAGEM").displayLabel(), "Código");
    EXPECT_EQ(d.dataSet("cdsTipOper").field("IDNFAJUSTE").displayLabel(), "IDNFAJUSTE");
}

TEST(ScreenArrangement, TabOrderRunsDownEachColumn) {
    const auto entrada = definition().arrangement.of(Kind::Entrada).tabOrder();
    ASSERT_GE(entrada.size(), 20U);
    EXPECT_THAT(std::vector(entrada.begin(), entrada.begin() + 9),
                ::testing::ElementsAre("dckIdUtilVenc", "dbcEmiss", "dbcInfNumeNf", "dckEstornoCanc",
                                       "dbcBrindeTpOper", "dckIDNFIMPORTACAO", "dckIDNFIMPORTACAOIND",
                                       "dbcIdOperDevoOl", "dckBonificacao"));
    const auto after = [&](const char* name) {
        return *(std::find(entrada.begin(), entrada.end(), name) + 1);
    };
    EXPECT_EQ(after("dckRealAprovAuto"), "dbcNfAjuste");
    EXPECT_EQ(after("dckBonificacao"), "dckIdGeraVenc");
    EXPECT_EQ(after("dckInfCPF"), "grbFornePadr");
    EXPECT_EQ(entrada.back(), "dckConsLista");

    const auto saida = definition().arrangement.of(Kind::Saida).tabOrder();
    EXPECT_EQ(saida[8], "dckImpProdEmis");
    EXPECT_EQ(saida[9], "dckIdGeraVenc");
    EXPECT_EQ(std::count(saida.begin(), saida.end(), "dckSugQtdTotDev"), 0);
}

TEST(ScreenArrangement, ResourceGeometryIsTheEntradaArrangement) {
    const Definition& d = definition();
    const ArrangedLayout layout = d.arrange(Kind::Entrada);
    for (const Placement& p : layout.placements) {
        const Control& c = d.control(p.name);
        ASSERT_TRUE(c.geometry) << p.name;
        EXPECT_EQ(c.geometry->left, p.left) << p.name;
        EXPECT_EQ(c.geometry->top, p.top) << p.name;
    }
    EXPECT_EQ(d.control("grbForm").geometry->height, layout.containerHeight);
}

TEST(ScreenArrangement, PlacedControlsNeitherOverlapNorLeaveTheGroup) {
    const Definition& d = definition();
    for (const Kind kind : {Kind::Entrada, Kind::Saida}) {
        const ArrangedLayout layout = d.arrange(kind);
        const int groupWidth = d.control("grbForm").geometry->width;
        for (std::size_t i = 0; i < layout.placements.size(); ++i) {
            const Placement& a = layout.placements[i];
            const Geometry& ga = *d.control(a.name).geometry;
            EXPECT_EQ(a.tabOrder, static_cast<int>(i));
            EXPECT_LE(a.top + ga.height, layout.containerHeight) << a.name;
            EXPECT_LE(a.left + ga.width, groupWidth) << a.name;
            for (std::size_t j = i + 1; j < layout.placements.size(); ++j) {
                const Placement& b = layout.placements[j];
                const Geometry& gb = *d.control(b.name).geometry;
                const bool apart = a.left + ga.width <= b.left || b.left + gb.width <= a.left ||
                                   a.top + ga.height <= b.top || b.top + gb.height <= a.top;
                EXPECT_TRUE(apart) << a.name << " overlaps " << b.name;
            }
        }
    }
}

TEST(ScreenArrangement, EveryOptionBoxHasAPlaceInSomeKind) {
    const Definition& d = definition();
    std::set<std::string> placed;
    for (const Kind kind : {Kind::Entrada, Kind::Saida})
        for (const auto& name : d.arrangement.of(kind).tabOrder())
            placed.insert(name);
    for (const Control* c : d.children("grbForm"))
        if (c->type == "TDBCheckBox") {
            EXPECT_TRUE(placed.contains(c->name)) << c->name;
        }
    const ArrangedLayout saida = d.arrange(Kind::Saida);
    // Saída lists more lower rows, so its group is taller than the resource's Entrada layout.
    EXPECT_GT(saida.containerHeight, d.arrange(Kind::Entrada).containerHeight);
    EXPECT_EQ(saida.find("dckDocDevo")->top, saida.find("grbDocOrigem")->top);
    EXPECT_EQ(saida.find("dckSugQtdTotDev"), nullptr);
}
