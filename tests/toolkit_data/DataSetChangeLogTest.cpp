#include "Recorder.h"

#include <nlohmann/json.hpp>

using namespace tktest;

namespace {

using wire::ChangeOp;

wire::Row row(Value code, Value name, Value flag) {
    return wire::Row{{{"CODE", code}, {"NAME", name}, {"FLAG", flag}}};
}

} // namespace

class ChangeLog : public DataSetFixture {
protected:
    void editName(int recNo, const char* name) {
        ds.moveTo(recNo);
        ds.edit();
        f("NAME").setValue(name);
        ds.post();
    }
};

TEST_F(ChangeLog, EditsOfABaseRowAreOneModifyWithTheOriginalValues) {
    load();
    editName(2, "first");
    editName(2, "second");
    ASSERT_EQ(ds.changeCount(), 1);
    const auto change = ds.changePacket().changes.at(0);
    EXPECT_EQ(change.op, ChangeOp::Modify);
    EXPECT_EQ(change.oldRow, row("02", "B", "S"));
    EXPECT_EQ(change.newRow, row("02", "second", "S"));

    editName(2, "B"); // back to the base values: nothing left to send
    EXPECT_EQ(ds.changeCount(), 0);
    ds.edit();
    ds.post(); // a post that changes nothing logs nothing
    EXPECT_EQ(ds.changeCount(), 0);
}

TEST_F(ChangeLog, InsertThenEditsStayOneInsertAndInsertThenDeleteLeavesNothing) {
    load();
    ds.insert();
    f("CODE").setValue("09");
    ds.post();
    editName(4, "later");
    ASSERT_EQ(ds.changeCount(), 1);
    const auto change = ds.changePacket().changes.at(0);
    EXPECT_EQ(change.op, ChangeOp::Insert);
    EXPECT_EQ(change.newRow, row("09", "later", std::nullopt));

    ds.remove();
    EXPECT_EQ(ds.changeCount(), 0);
    EXPECT_TRUE(ds.changePacket().changes.empty());
}

TEST_F(ChangeLog, DeletingAModifiedRowSendsItsOriginalValues) {
    load();
    editName(1, "renamed");
    ds.remove();
    ASSERT_EQ(ds.changeCount(), 1);
    const auto change = ds.changePacket().changes.at(0);
    EXPECT_EQ(change.op, ChangeOp::Delete);
    EXPECT_EQ(change.oldRow, row("01", "A", "S"));
}

TEST_F(ChangeLog, ARefusedSaveStaysPendingAndTravelsWithTheNextOne) {
    load();
    // The after-post of the screen sends the packet and merges only when the server accepts.
    bool serverAccepts = false;
    std::vector<int> sentSizes;
    ds.afterPost = [&](DataSet& d) {
        sentSizes.push_back(static_cast<int>(d.changePacket().changes.size()));
        if (serverAccepts) d.mergeChangeLog();
    };
    editName(1, "refused");
    EXPECT_EQ(ds.changeCount(), 1);
    serverAccepts = true;
    ds.insert();
    f("CODE").setValue("05");
    ds.post();
    EXPECT_EQ(sentSizes, (std::vector<int>{1, 2}));
    EXPECT_EQ(ds.changeCount(), 0);
    ds.cancelUpdates(); // merged: the current rows are the base now
    EXPECT_EQ(codes(), (std::vector<std::string>{"01", "02", "03", "05"}));
    EXPECT_EQ(f("NAME").value(), Value()); // still on the inserted record
}

TEST_F(ChangeLog, CancelUpdatesRestoresTheBaseRowsAndKeepsThePlace) {
    load();
    editName(3, "changed");
    ds.moveTo(1);
    ds.remove();
    ds.insert();
    f("CODE").setValue("00");
    ds.post();
    // Re-key row 02 so that it moves to the end.
    ds.locate("CODE", {"02"});
    ds.edit();
    f("CODE").setValue("99");
    ds.post();
    EXPECT_EQ(codes(), (std::vector<std::string>{"00", "03", "99"}));
    EXPECT_EQ(ds.recNo(), 3);
    ASSERT_EQ(ds.changeCount(), 4);
    ds.locate("CODE", {"03"});
    rec.take();

    ds.cancelUpdates();
    EXPECT_EQ(rec.take(), (Lines{"link.recordChanged(*)"})); // the controls re-show; no after-scroll
    EXPECT_EQ(ds.changeCount(), 0);
    EXPECT_EQ(ds.data(), packet({{"01", "A", "S"}, {"02", "B", "S"}, {"03", "C", "S"}}));
    EXPECT_EQ(code(ds), "03");
    EXPECT_EQ(f("NAME").value(), Value("C"));

    ds.insert();
    f("CODE").setValue("07");
    ds.post();
    ds.cancelUpdates(); // the current row is gone: back to the first
    EXPECT_EQ(ds.recNo(), 1);
}

TEST_F(ChangeLog, CancelUpdatesKeepsArrivalOrderWithoutAnIndex) {
    ds.setIndexFieldName("");
    ds.setData(packet({{"03", "C", "S"}, {"01", "A", "S"}, {"02", "B", "S"}}));
    ds.moveTo(2);
    ds.remove();
    ds.insert();
    f("CODE").setValue("xx");
    ds.post();
    EXPECT_EQ(codes(), (std::vector<std::string>{"03", "xx", "02"}));
    ds.cancelUpdates();
    EXPECT_EQ(codes(), (std::vector<std::string>{"03", "01", "02"}));
}

TEST_F(ChangeLog, NewPacketsAndDisabledLoggingLeaveNoChanges) {
    load();
    editName(1, "x");
    ds.setData(packet({{"01", "A", "S"}}));
    EXPECT_EQ(ds.changeCount(), 0);
    ds.setLogChanges(false);
    editName(1, "y");
    ds.remove();
    EXPECT_EQ(ds.changeCount(), 0);
}

TEST_F(ChangeLog, PacketRowsAreWholeInFieldOrderWithNullsApartFromEmpty) {
    load();
    ds.moveTo(1);
    ds.edit();
    f("NAME").setValue("");
    f("FLAG").clear();
    ds.post();
    const auto packet = ds.changePacket();
    ASSERT_EQ(packet.changes.size(), 1u);
    EXPECT_EQ(packet.changes[0].newRow, row("01", "", std::nullopt));
    EXPECT_EQ(packet.changes[0].oldRow, row("01", "A", "S"));
    // The distinction survives the wire.
    const auto back = wire::changePacketFromJson(wire::toJson(packet));
    EXPECT_EQ(*back.changes.at(0).newRow.find("NAME"), Value(""));
    EXPECT_EQ(*back.changes.at(0).newRow.find("FLAG"), Value());
}
