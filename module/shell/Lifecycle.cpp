// Creation, showing and closing of the screen, and the connection to the application server.

#include "lib/Consiste.h"
#include "lib/SessionPool.h"
#include "lib/Morvala.h"
#include "lib/Showavi.h"
#include "screen/Embedded.h"
#include "shell/TfrmTipOper.h"
#include "shell/Toolkit.h"

#include <nlohmann/json.hpp>

namespace Cli_ger06600 {

void TfrmTipOper::FormCreate(tk::Component& Sender) {
    frm::TfrmPadrao::FormCreate(Sender);
    {
        Showavi::Wait wait(tk::Application::current().mainForm(), 0);
        netTipOper.setConnected(true);
    }
    rbtTodosF->setChecked(true);
    dckDocDevo->setChecked(false);
    rbtTodosF->setEnabled(false);
    rbtListaF->setEnabled(false);
    grbDocOrigem->setEnabled(false);
    cbbEntSaid->setItemIndex(0);
    cdsTipOper.fieldByName("NRINSJURFORN").setEditMask(Consiste::PictPess("I"));
}

void TfrmTipOper::netTipOperBeforeConnect(tk::Component&) {
    netTipOper.setHost(Morvala::WebURL());
    netTipOper.setPort(Morvala::WebPort());
}

void TfrmTipOper::FormShow(tk::Component&) { cbbEntSaid->setFocus(); }

void TfrmTipOper::FormClose(tk::Component& Sender, tk::CloseAction& Action) {
    frm::TfrmPadrao::FormClose(Sender, Action);
    netTipOper.setConnected(false);
    unit_.boStCriado = false;
}

nlohmann::json TfrmTipOper::serverCall(const std::string& op, nlohmann::json params) {
    return Consiste::CheckResultServ(netTipOper.AppServer(op, std::move(params)), true, 0);
}

void TfrmTipOper::assignPacket(tk::DataSet& dataSet, const nlohmann::json& payload) {
    dataSet.setData(wire::dataPacketFromJson(payload));
}

lib::SessionPool& TfrmTipOper::database() {
    // The process's pool for the configured database, shared with every other client: the screen's
    // queries hold a session only while they run.
    if (!database_) {
        lib::PoolOptions options;
        options.size = Morvala::DatabasePoolSize();
        database_ = lib::SessionPool::shared(Morvala::DatabaseURL(), options);
    }
    return *database_;
}

lib::TADOIBQuery& TfrmTipOper::query(std::string_view name) {
    auto it = queries_.find(name);
    if (it != queries_.end()) return *it->second;
    const auto& q = screen::definition().query(name);
    auto query = std::make_unique<lib::TADOIBQuery>(database(), q.name);
    query->setSQL(q.sql);
    query->setSQL_ORACLE(q.sqlOracle);
    query->setSQL_MSSQL(q.sqlMssql);
    query->setSQL_IB(q.sqlIb);
    for (const auto& f : q.fields) query->addField(f.name, f.size, f.label, f.displayWidth, f.visible, f.required);
    return *queries_.emplace(q.name, std::move(query)).first->second;
}

} // namespace Cli_ger06600
