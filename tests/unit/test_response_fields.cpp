#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/data_file.h"
#include "support/response_fields.h"
#include "support/tracker_state.h"
#include "tests/unit/fake_desktop.h"
#include "ui/response_field_map.h"

namespace {

class ResponseFieldsTest : public ::testing::Test {
  protected:
    WindowHandle dialog = 0;

    void SetUp() override {
        fake::Reset();
        ResetTrackerState();
        dialog = fake::AddWindow("#32770", "Response Strings");
        for (int id = IDC_CAPS_LABEL; id <= IDC_NOWPLAYING_EDIT; ++id)
            fake::AddWindow("Edit", "", dialog, id);
        std::strcpy(Tracker.ResponseTemplates[kSlotFcFrags], "fc %d");
        std::strcpy(Tracker.ResponseTemplates[kSlotCaps], "caps %d");
        std::strcpy(Tracker.ResponseTemplates[kSlotReturns], "returns %d");
        std::strcpy(Tracker.ResponseTemplates[kSlotNowPlaying], "playing %s");
    }

    std::string& Field(int id) {
        return fake::Find(DeskGetDlgItem(dialog, id))->text;
    }
};

TEST_F(ResponseFieldsTest, FieldsShowCapsFirstAndStoreBackIntoTheirOwnSlots) {
    ShowResponseFields(dialog, kResponseFields, kResponseFieldCount);
    EXPECT_EQ(Field(IDC_CAPS_EDIT), "caps %d");
    EXPECT_EQ(Field(IDC_FCFRAGS_EDIT), "fc %d");
    EXPECT_EQ(Field(IDC_RETURNS_EDIT), "returns %d");
    EXPECT_EQ(Field(IDC_NOWPLAYING_EDIT), "playing %s");

    Field(IDC_CAPS_EDIT) = "new caps %d";
    Field(IDC_FCFRAGS_EDIT) = "new fc %d";
    StoreResponseFields(dialog, kResponseFields, kResponseFieldCount);
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotCaps], "new caps %d");
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotFcFrags], "new fc %d");
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotReturns], "returns %d");

    ResetTrackerState();
    LoadStats();
    EXPECT_STREQ(Tracker.ResponseTemplates[kSlotCaps], "new caps %d") << "Ok saves the data file";
}

TEST_F(ResponseFieldsTest, OnlyTheNewTextAndItsTerminatorChangeInTheSlot) {
    std::memset(Tracker.ResponseTemplates[kSlotReturns], 'x', kTemplateSize);
    std::memcpy(Tracker.ResponseTemplates[kSlotReturns], "old returns %d", 15);
    ShowResponseFields(dialog, kResponseFields, kResponseFieldCount);
    Field(IDC_RETURNS_EDIT) = "r%d";
    StoreResponseFields(dialog, kResponseFields, kResponseFieldCount);
    const char* slot = Tracker.ResponseTemplates[kSlotReturns];
    EXPECT_STREQ(slot, "r%d");
    EXPECT_EQ(std::string(slot + 4, 10), "returns %d") << "the old text's tail stays behind the terminator";
    EXPECT_EQ(std::string(slot + 15, 497), std::string(497, 'x'));

    Field(IDC_RETURNS_EDIT).clear();
    StoreResponseFields(dialog, kResponseFields, kResponseFieldCount);
    EXPECT_EQ(slot[0], '\0') << "a cleared field leaves its slot empty";
    EXPECT_EQ(slot[1], '%');
    EXPECT_EQ(fake::Files()[kDataFileName][32 + 2 * 512], '\0');
}

TEST_F(ResponseFieldsTest, ALongFieldIsCutTo254Characters) {
    Field(IDC_NOWPLAYING_EDIT) = std::string(300, 'p');
    std::memset(Tracker.ResponseTemplates[kSlotNowPlaying], 'z', kTemplateSize);
    StoreResponseFields(dialog, kResponseFields, kResponseFieldCount);
    const char* slot = Tracker.ResponseTemplates[kSlotNowPlaying];
    EXPECT_EQ(std::string(slot), std::string(254, 'p'));
    EXPECT_EQ(slot[255], 'z');
}

TEST_F(ResponseFieldsTest, AnUnterminatedSlotShowsItsFull512Bytes) {
    std::memset(Tracker.ResponseTemplates[kSlotFcFrags], 'A', kTemplateSize);
    std::memset(Tracker.ResponseTemplates[kSlotCaps], 'B', kTemplateSize);
    ShowResponseFields(dialog, kResponseFields, kResponseFieldCount);
    EXPECT_EQ(Field(IDC_FCFRAGS_EDIT), std::string(512, 'A'));
    EXPECT_EQ(Field(IDC_CAPS_EDIT), std::string(512, 'B'));
}

} // namespace
