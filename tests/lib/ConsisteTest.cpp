#include "lib/Consiste.h"

#include "ScriptedDialogs.h"
#include "lib/Messages.h"
#include "lib/Showavi.h"
#include "wire/Rpc.h"

#include <gtest/gtest.h>

using nlohmann::json;

TEST(Consiste, EmptyStringAjustaPictPess) {
    for (const char* empty : {"", " ", "   ", "\t \r\n"})
        EXPECT_TRUE(Consiste::EmptyString(empty)) << '"' << empty << '"';
    for (const char* filled : {"0", " 5", "5 ", "Não", "\xC2\xA0"})
        EXPECT_FALSE(Consiste::EmptyString(filled)) << filled;

    struct Case {
        const char* code;
        int width;
        const char* expected;
    } cases[] = {{"5", 2, "05"},   {"3", 3, "003"}, {"12", 2, "12"}, {" 7 ", 2, "07"}, {"123", 2, "123"},
                 {"AB", 3, "0AB"}, {"", 2, ""},     {"   ", 2, ""},  {"1", 0, "1"},    {"É", 2, "0É"}};
    for (const auto& c : cases)
        EXPECT_EQ(Consiste::Ajusta(c.code, c.width), c.expected) << c.code << '/' << c.width;

    EXPECT_EQ(Consiste::PictPess("F"), "999.999.999-99;0;_");
    EXPECT_EQ(Consiste::PictPess("J"), "99.999.999/9999-99;0;_");
    for (const char* other : {"", "I", "f", "FJ", " F"})
        EXPECT_EQ(Consiste::PictPess(other), "") << other;
}

TEST(Consiste, MensErroShowsTheBoxThenAbortsSilently) {
    AppFixture f;
    EXPECT_THROW(Consiste::MensErro("Nome deve ser informado.", true), tk::SilentAbort);
    EXPECT_EQ(f.log, std::vector<std::string>{"error:Nome deve ser informado."});
    EXPECT_EQ(f.app.shown(), std::vector<std::string>{"Nome deve ser informado."});
    EXPECT_NO_THROW(Consiste::MensErro("Aviso", false)); // without abort the caller carries on
    EXPECT_EQ(f.log.size(), 2u);
}

TEST(Consiste, CheckResultServReturnsPayloadOrRaises) {
    const json packet = {{"fields", json::array()}, {"rows", json::array()}};
    EXPECT_EQ(Consiste::CheckResultServ(wire::rpc::makeResult(1, packet), true, 0), packet);
    EXPECT_TRUE(Consiste::CheckResultServ(wire::rpc::makeResult(2, nullptr), true, 0).is_null());
    try {
        Consiste::CheckResultServ(wire::rpc::makeError(3, wire::rpc::kConflict, "Registro alterado"), true,
                                  0);
        ADD_FAILURE() << "an error answer must raise";
    } catch (const lib::ServerError& e) {
        EXPECT_EQ(e.code(), wire::rpc::kConflict);
        EXPECT_NE(std::string(e.what()).find("Registro alterado"), std::string::npos);
    }
    // Shapes that are not an answer never pass for a payload.
    for (const json& bad :
         {json(), json::array(), json{{"id", 1}}, json{{"result", 1}, {"error", {{"code", 1}}}}})
        EXPECT_THROW(Consiste::CheckResultServ(bad, true, 0), lib::ServerError) << bad.dump();
    EXPECT_TRUE(Consiste::CheckResultServ(wire::rpc::makeError(4, -1, "x"), false, 0).is_null());
}

TEST(Showavi, NestedShowsAndAnUnpairedHide) {
    AppFixture f;
    Showavi::ActiveShowAvi(nullptr, 0);
    Showavi::ActiveShowAvi(nullptr, 1, "Verificando registros no servidor...");
    EXPECT_EQ(f.app.wait()->text, "Verificando registros no servidor...");
    Showavi::DeactiveShowAvi();
    EXPECT_EQ(f.app.wait()->kind, 0);
    Showavi::DeactiveShowAvi();
    // A hide with nothing shown is a fault of its caller, not something to tolerate.
    EXPECT_THROW(Showavi::DeactiveShowAvi(), std::logic_error);
    EXPECT_FALSE(f.app.wait());
}

TEST(Showavi, TheScopeHidesWhateverWayItEnds) {
    AppFixture f;
    EXPECT_THROW(
        {
            Showavi::Wait outer(nullptr, 0);
            Showavi::Wait inner(nullptr, 6, "Verificando registros no servidor...");
            EXPECT_EQ(f.app.wait()->kind, 6);
            throw std::runtime_error("falha do servidor");
        },
        std::runtime_error);
    EXPECT_FALSE(f.app.wait());
    {
        Showavi::Wait wait(nullptr, 1);
        wait.hide();
        EXPECT_FALSE(f.app.wait());
        wait.hide(); // once hidden, nothing more to undo
    }
    EXPECT_FALSE(f.app.wait());
    Showavi::ActiveShowAvi(nullptr, 0); // a show outside the scope survives it
    { Showavi::Wait wait(nullptr, 1); }
    EXPECT_EQ(f.app.wait()->kind, 0);
    Showavi::DeactiveShowAvi();
}

TEST(Messages, LookupIsExactByteForByte) {
    lib::TMessages msg({"S|Sim", "N|Não", "CdTipoOper_inf|Código deve ser informado. ", "0|Origem",
                        "1|Destino", "Sim|Sim", "Não|Não", "Cod_Inf|Código deve ser informado.",
                        "Texto|com | barra"});
    EXPECT_EQ(msg.Msg("CdTipoOper_inf"), "Código deve ser informado. "); // trailing blank kept
    EXPECT_EQ(msg.Msg("Cod_Inf"), "Código deve ser informado.");
    EXPECT_EQ(msg.Msg("0"), "Origem");
    EXPECT_EQ(msg.Msg("1"), "Destino");
    EXPECT_EQ(msg.Msg("Não"), "Não");
    EXPECT_EQ(msg.Msg("Texto"), "com | barra"); // only the first bar separates
    for (const char* missing : {"Nao", "NÃO", "não", "Si", "cod_inf", "2", ""})
        EXPECT_FALSE(msg.hasKey(missing)) << missing;

    // S/N and Sim/Não are distinct lines that merely share texts.
    auto lines = msg.lines();
    lines[0] = "S|S";
    msg.setLines(lines);
    EXPECT_EQ(msg.Msg("S"), "S");
    EXPECT_EQ(msg.Msg("Sim"), "Sim");
}

TEST(Messages, ShowMsgAsksThroughTheDialogPort) {
    AppFixture f;
    const lib::TMessages msg({"Canc|Deseja cancelar as alterações?"});
    f.answer = tk::kAnswerNo;
    EXPECT_EQ(msg.ShowMsg("Canc", 3, 3, 0), tk::kAnswerNo);
    EXPECT_EQ(f.log, std::vector<std::string>{"confirm:Canc:Deseja cancelar as alterações?"});
    EXPECT_EQ(f.app.shown(), std::vector<std::string>{"Deseja cancelar as alterações?"});
}
