#include "Recorder.h"

using namespace tktest;

using Events = DataSetFixture;

TEST_F(Events, OpeningRunsAfterScrollOnlyWhenThereAreRows) {
    ds.setData(packet({}));
    EXPECT_EQ(rec.take(), (Lines{"link.recordChanged(*)", "stateChange:browse", "afterOpen"}));
    EXPECT_TRUE(ds.isEmpty());
    EXPECT_TRUE(f("CODE").isNull());

    // A new packet on an open dataset closes it and opens it on the new rows, first in index order.
    ds.setData(packet({{"02", "B", "S"}, {"01", "A", "S"}}));
    EXPECT_EQ(rec.take(),
              (Lines{"stateChange:inactive", "link.recordChanged(*)", "afterClose", "link.recordChanged(*)",
                     "stateChange:browse", "afterOpen", "afterScroll:01"}));
    EXPECT_EQ(codes(), (std::vector<std::string>{"01", "02"}));
    EXPECT_EQ(ds.recNo(), 1);
}

TEST_F(Events, InsertShowsDefaultsAtOnceThenTheWholeRecord) {
    load();
    ds.moveTo(2);
    rec.take();
    ds.onNewRecord = [this](DataSet&) {
        rec.lines.push_back("onNewRecord");
        f("FLAG").setValue("N");
    };
    ds.insert();
    EXPECT_EQ(rec.take(), (Lines{"stateChange:insert", "onNewRecord", "link.recordChanged(FLAG)",
                                 "link.recordChanged(*)", "afterInsert", "afterScroll:<null>"}));
    // The new record shows at the current position, the others shifted down.
    EXPECT_EQ(ds.recNo(), 2);
    EXPECT_EQ(codes(), (std::vector<std::string>{"01", "<null>", "02", "03"}));

    f("CODE").setValue("04");
    rec.take();
    ds.post();
    EXPECT_EQ(rec.take(), (Lines{"link.updateData", "beforePost", "stateChange:browse",
                                 "link.recordChanged(*)", "afterPost"}));
    // Stored at its index position and still current.
    EXPECT_EQ(codes(), (std::vector<std::string>{"01", "02", "03", "04"}));
    EXPECT_EQ(ds.recNo(), 4);
    EXPECT_EQ(f("FLAG").value(), Value("N"));
    ds.edit(); // a smaller code moves it to the front
    f("CODE").setValue("00");
    ds.post();
    EXPECT_EQ(codes(), (std::vector<std::string>{"00", "01", "02", "03"}));
    EXPECT_EQ(ds.recNo(), 1);
}

TEST_F(Events, CancelOfInsertScrollsBackButCancelOfEditDoesNot) {
    load();
    ds.moveTo(3);
    ds.insert();
    f("CODE").setValue("00");
    rec.take();
    ds.cancel();
    EXPECT_EQ(rec.take(),
              (Lines{"stateChange:browse", "link.recordChanged(*)", "afterCancel", "afterScroll:03"}));
    EXPECT_EQ(ds.recordCount(), 3);

    ds.edit();
    EXPECT_EQ(rec.take(), (Lines{"stateChange:edit", "afterEdit"}));
    f("NAME").setValue("changed");
    rec.take();
    ds.cancel();
    EXPECT_EQ(rec.take(), (Lines{"stateChange:browse", "link.recordChanged(*)", "afterCancel"}));
    EXPECT_EQ(f("NAME").value(), Value("C"));
}

TEST_F(Events, DeleteShowsTheNextRecordThenScrolls) {
    load();
    ds.moveTo(2);
    rec.take();
    ds.remove();
    EXPECT_EQ(rec.take(), (Lines{"beforeDelete", "link.recordChanged(*)", "afterDelete", "afterScroll:03"}));
    ds.remove(); // the last record: the one before becomes current
    EXPECT_EQ(code(ds), "01");
    ds.remove();
    EXPECT_TRUE(ds.isEmpty());
    rec.take();
    EXPECT_THROW(ds.remove(), tk::DataSetError);
    EXPECT_TRUE(rec.take().empty());
}

TEST_F(Events, DeleteWhileEditingCancelsFirstAndWhileInsertingOnlyCancels) {
    load();
    ds.edit();
    f("NAME").setValue("x");
    rec.take();
    ds.remove();
    EXPECT_EQ(rec.take(), (Lines{"stateChange:browse", "link.recordChanged(*)", "afterCancel", "beforeDelete",
                                 "link.recordChanged(*)", "afterDelete", "afterScroll:02"}));
    ASSERT_EQ(ds.changeCount(), 1);
    EXPECT_EQ(ds.changePacket().changes[0].oldRow.find("NAME")->value(), "A");

    ds.insert();
    ds.remove(); // the unsaved record is dropped; no stored record is deleted with it
    EXPECT_EQ(ds.recordCount(), 2);
    EXPECT_EQ(ds.changeCount(), 1);
}

TEST_F(Events, LocateRunsAfterScrollEvenOnTheCurrentRecord) {
    load();
    ASSERT_TRUE(ds.locate("CODE", {"01"}));
    EXPECT_EQ(rec.take(), (Lines{"link.recordChanged(*)", "afterScroll:01"}));
    EXPECT_FALSE(ds.locate("CODE", {"09"}));
    EXPECT_TRUE(rec.take().empty());
    EXPECT_EQ(ds.recNo(), 1);
}

TEST_F(Events, MovesPastTheEndsRunNothing) {
    load();
    ds.prior();
    EXPECT_TRUE(ds.bof());
    ds.last();
    rec.take();
    ds.next();
    EXPECT_TRUE(ds.eof());
    EXPECT_TRUE(rec.take().empty());
    int visited = 0;
    for (ds.first(); !ds.eof(); ds.next())
        ++visited;
    EXPECT_EQ(visited, 3);
}

TEST_F(Events, FailingBeforePostKeepsStateAndBuffer) {
    load();
    ds.beforePost = [](DataSet&) { throw std::runtime_error("recusado"); };
    ds.insert();
    f("CODE").setValue("00");
    rec.take();
    EXPECT_THROW(ds.post(), std::runtime_error);
    EXPECT_EQ(rec.take(), (Lines{"link.updateData"}));
    EXPECT_EQ(ds.state(), DataSetState::Insert);
    EXPECT_EQ(f("CODE").value(), Value("00"));
    EXPECT_EQ(ds.changeCount(), 0);
    EXPECT_EQ(ds.data().rows.size(), 3u);
}

TEST_F(Events, ControlsWriteTypedTextBeforeTheBeforePostHandler) {
    load();
    ds.edit();
    link.pending = {{&f("NAME"), "typed"}};
    ds.beforePost = [this](DataSet&) { rec.lines.push_back("beforePost:" + f("NAME").asString()); };
    rec.take();
    ds.post();
    EXPECT_EQ(rec.take()[2], "beforePost:typed");
}

TEST_F(Events, MovingAwayPostsAChangedRecordAndDropsAnUntouchedInsert) {
    load();
    ds.edit();
    f("NAME").setValue("edited");
    ds.next();
    EXPECT_EQ(ds.state(), DataSetState::Browse);
    EXPECT_EQ(ds.changeCount(), 1);

    ds.onNewRecord = [this](DataSet&) { f("FLAG").setValue("N"); }; // defaults alone are not a change
    ds.insert();
    ds.first();
    EXPECT_EQ(ds.recordCount(), 3);
    EXPECT_EQ(ds.changeCount(), 1);
}

TEST_F(Events, OperationsTheStateDoesNotAllowRaise) {
    EXPECT_THROW(ds.edit(), tk::DataSetError);
    EXPECT_THROW(ds.insert(), tk::DataSetError);
    EXPECT_THROW(ds.post(), tk::DataSetError);
    EXPECT_THROW(ds.next(), tk::DataSetError);
    EXPECT_THROW(ds.locate("CODE", {"01"}), tk::DataSetError);
    load();
    try {
        f("NAME").setValue("x");
        FAIL() << "assignment in browse was accepted";
    } catch (const tk::DataSetError& e) {
        EXPECT_NE(std::string(e.what()).find("edição ou inclusão"), std::string::npos) << e.what();
    }
    EXPECT_THROW(ds.locate("CODE;NAME", {"01"}), tk::DataSetError);
    EXPECT_THROW(ds.locate("NOPE", {"01"}), tk::DataSetError);
    EXPECT_THROW(ds.addField("LATE", 1), tk::DataSetError);
}

TEST_F(Events, EditOnAnEmptyListStartsAnInsert) {
    ds.setData(packet({}));
    ds.edit();
    EXPECT_EQ(ds.state(), DataSetState::Insert);
}

TEST_F(Events, DataSourceFollowsItsDataSetAndALostDataSetIsQuiet) {
    load();
    tk::DataSource other("other");
    RecordingLink otherLink(rec, "NAME");
    other.addLink(&otherLink);
    other.setDataSet(&ds);
    EXPECT_EQ(rec.take(), (Lines{"link.recordChanged(*)"}));
    ds.edit();
    f("NAME").setValue("both");
    EXPECT_EQ(rec.take(), (Lines{"stateChange:edit", "afterEdit", "link.recordChanged(NAME)",
                                 "link.recordChanged(NAME)"}));
    f("NAME").focusControl();
    EXPECT_EQ(rec.take(), (Lines{"focus(NAME)"}));
    f("CODE").focusControl(); // no control of its own: the multi-field control (grid) gets it
    EXPECT_EQ(rec.take(), (Lines{"focus(CODE)"}));
    {
        DataSet gone("gone");
        other.setDataSet(&gone);
        rec.take();
    }
    EXPECT_EQ(other.dataSet(), nullptr);
    EXPECT_TRUE(rec.take().empty());
}
