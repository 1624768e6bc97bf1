#include "Recorder.h"
#include "toolkit/DataSetRow.h"

using namespace tktest;

using Values = DataSetFixture;

TEST(FieldCut, CountsCharactersNotBytesAndNeverSplitsOne) {
    struct Case {
        const char* in;
        int size;
        const char* out;
    };
    const Case cases[] = {
        {"Não", 3, "Não"},
        {"Nãoo", 3, "Não"},
        {"ããã", 2, "ãã"},
        {"a😀b", 2, "a😀"},
        {"abc", 0, "abc"},
        {"\x80\x80z", 1, "\x80\x80"}, // a stray continuation stays with its char
        {"Operação fiscal", 8, "Operação"},
    };
    for (const auto& c : cases) {
        DataSet ds("cut");
        ds.addField("V", c.size);
        ds.setData({});
        ds.insert();
        ds.fieldByName("V").setValue(c.in);
        EXPECT_EQ(ds.fieldByName("V").asString(), c.out) << c.in << " / " << c.size;
        // Packets are cut the same way.
        ds.setData({{{"V", "string", c.size}}, {{Value(c.in)}}});
        EXPECT_EQ(ds.valueAt(0, 0), Value(c.out)) << c.in << " / " << c.size;
    }
}

TEST_F(Values, NullIsNotEmptyAndTheSameValueNotifiesNothing) {
    load();
    int dataChanges = 0;
    dts.onDataChange = [&](tk::DataSource&, const Field* field) { dataChanges += field ? 1 : 100; };
    ds.edit();
    rec.take();
    f("NAME").setValue("A");               // unchanged
    f("NAME").setValue("A-long-name-cut"); // cut to "A-long-nam"
    f("NAME").setValue("A-long-nam");      // the cut value again
    EXPECT_EQ(rec.take(), (Lines{"link.recordChanged(NAME)"}));
    EXPECT_EQ(dataChanges, 1);

    f("FLAG").setValue("");
    EXPECT_FALSE(f("FLAG").isNull());
    f("FLAG").clear();
    EXPECT_TRUE(f("FLAG").isNull());
    EXPECT_EQ(f("FLAG").asString(), "");
    f("FLAG").clear();
    EXPECT_EQ(rec.take().size(), 2u); // "" and null, not the second null
    ds.post();
    EXPECT_EQ(ds.valueAt(0, 2), Value());
}

TEST_F(Values, PacketsMatchFieldsByNameIgnoringExtrasAndCase) {
    wire::DataPacket p;
    p.fields = {{"EXTRA", "string", 5}, {"flag", "string", 1}, {"CODE", "string", 2}};
    p.rows = {{"x", "S", "02"}, {"y", std::nullopt, "01"}, {"z", "", std::nullopt}};
    ds.setData(p);
    // Ascending by CODE with null first; NAME is absent from the packet, so null everywhere.
    EXPECT_EQ(codes(), (std::vector<std::string>{"<null>", "01", "02"}));
    EXPECT_EQ(ds.valueAt(0, 2), Value(""));
    EXPECT_EQ(ds.valueAt(1, 2), Value());
    EXPECT_EQ(ds.valueAt(2, 1), Value());
    EXPECT_EQ(ds.data().fields.size(), 3u);
}

TEST(DataSetWithoutFields, TakesThePacketsFields) {
    DataSet ds("lookup");
    ds.setData({{{"CD", "string", 2}, {"NM", "string", 30}}, {{"01", "Um"}}});
    ASSERT_EQ(ds.fieldCount(), 2);
    EXPECT_EQ(ds.fieldByName("nm").asString(), "Um");
}

TEST_F(Values, LocateComparesWholeValuesWithOptionalCaseFolding) {
    ds.setData(packet({{"E1", "NÃO", "S"}, {"E2", "não", "N"}, {"E3", "Nãoo", "N"}}));
    const tk::LocateOptions ci{.caseInsensitive = true};
    struct Case {
        const char* fields;
        std::vector<std::string> values;
        tk::LocateOptions options;
        const char* found; // nullptr: miss
    };
    const Case cases[] = {
        {"NAME", {"não"}, {}, "E2"},
        {"NAME", {"NãO"}, {}, nullptr},
        {"NAME", {"nÃo"}, ci, "E1"},
        {"NAME;FLAG", {"não", "n"}, ci, "E2"},
        {"NAME", {"Nã"}, ci, nullptr}, // whole values only
        {"NAME", {"nãoo"}, {.caseInsensitive = true, .partialKey = true}, "E3"},
        {" CODE ; FLAG ", {"e3", "n"}, ci, "E3"},
    };
    for (const auto& c : cases) {
        ds.first();
        const bool hit = ds.locate(c.fields, c.values, c.options);
        EXPECT_EQ(hit, c.found != nullptr) << c.fields << " " << c.values[0];
        EXPECT_EQ(code(ds), c.found ? c.found : "E1") << c.fields << " " << c.values[0];
    }
}

TEST_F(Values, TextHandlersAndMasks) {
    load();
    f("FLAG").onGetText = [](Field& field, std::string& text, bool display) {
        text = (field.asString() == "S" ? "Sim" : "Não") + std::string(display ? "!" : "");
    };
    f("FLAG").onSetText = [](Field& field, const std::string& text) {
        if (text == "Não") field.setValue("N");
    };
    EXPECT_EQ(f("FLAG").text(), "Sim");
    EXPECT_EQ(f("FLAG").displayText(), "Sim!");
    ds.edit();
    f("FLAG").setText("Talvez");
    EXPECT_EQ(f("FLAG").asString(), "S");
    f("FLAG").setText("Não");
    EXPECT_EQ(f("FLAG").asString(), "N");
    f("NAME").setText("plain");
    EXPECT_EQ(f("NAME").asString(), "plain");
    rec.take();
    f("NAME").setEditMask("999;0;_");
    f("NAME").setEditMask("999;0;_");
    EXPECT_EQ(rec.take(), (Lines{"link.recordChanged(NAME)"}));
}

TEST(Rows, PackedRowsRoundTripAndStayCompact) {
    using tk::detail::Slot;
    const std::string big(70000, 'x'); // forces the wide offset layout
    const Slot slots[] = {{"", false}, {}, {big, false}, {"ç", false}};
    const std::string bytes = tk::detail::packRow(slots, 4);
    const tk::detail::RowView view(bytes, 4);
    EXPECT_EQ(view.value(0), Value(""));
    EXPECT_EQ(view.value(1), Value());
    EXPECT_EQ(view.text(2).size(), big.size());
    EXPECT_EQ(view.value(3), Value("ç"));

    // The real record: 82 fields, most one-character flags.
    DataSet ds("cdsTipOper");
    wire::DataPacket p;
    std::vector<Value> values;
    for (int i = 0; i < 82; ++i) {
        const int size = i % 10 == 0 ? 30 : 1;
        p.fields.push_back({"F" + std::to_string(i), "string", size});
        ds.addField("F" + std::to_string(i), size);
        values.emplace_back(std::string(static_cast<std::size_t>(size), 'S'));
    }
    p.rows.assign(1000, values);
    ds.setData(p);
    EXPECT_LE(ds.memoryBytes() / 1000, 1024u);
    EXPECT_GT(ds.memoryBytes() / 1000, 82u); // counts the values themselves at least
}
