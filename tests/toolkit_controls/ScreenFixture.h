#pragma once

// A small form over one dataset, with a recorder that logs events in the order they run.

#include "toolkit/Application.h"
#include "toolkit/DataSet.h"
#include "toolkit/Form.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

class ScreenFixture : public ::testing::Test {
protected:
    tk::Application app;
    tk::Application::Scope scope{app};
    tk::Form form{"frmTeste"};
    tk::DataSet& cds = form.addDataSet("cdsTeste");
    tk::DataSource& dts = form.addDataSource("dtsTeste", &cds);
    std::vector<std::string> log;

    ScreenFixture() {
        cds.addField("CODIGO", 2);
        cds.addField("NOME", 10);
        cds.addField("FLAG", 1);
        cds.addField("ORIGEM", 1);
    }

    // Loads rows of {CODIGO, NOME, FLAG, ORIGEM}.
    void load(std::vector<std::vector<tk::Value>> rows) {
        wire::DataPacket packet;
        packet.fields = {
            {"CODIGO", "string", 2}, {"NOME", "string", 10}, {"FLAG", "string", 1}, {"ORIGEM", "string", 1}};
        packet.rows = std::move(rows);
        cds.setData(packet);
    }

    std::function<void(tk::Control&)> record(std::string what) {
        return [this, what](tk::Control&) { log.push_back(what); };
    }

    tk::Value field(const char* name) { return cds.fieldByName(name).value(); }
};
