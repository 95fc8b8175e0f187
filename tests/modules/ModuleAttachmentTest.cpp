// ModuleAttachment against the scripted device library and the real data
// model: opening, switching, closing and pin polling, and the failure paths
// that must leave the window module-less without a message.
#include "modules/ModuleAttachment.h"

#include "FakeVexif.h"
#include "ModuleWindowState.h"
#include "TModIfCpp.h"
#include "modules/vladata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

class ModuleAttachmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QV000001", 'c', 'f', 'p'},
                               {"QV000002", 'o', 'f', 'p'},
                               {"QV000003", 'c', 't', 'p'}});
        m_library = std::make_unique<TModIfCpp>();
        check(QV_ConnectToServer(m_library->handle(), nullptr, 0));
        m_window.handle = m_library->handle();
        m_data = std::make_unique<AnalyserData>();
        m_attachment = std::make_unique<ModuleAttachment>(m_window, *m_data, m_info);
        m_data->AddListener(&ModuleAttachment::listener, m_attachment.get());
        fakevexif::clearCalls();
    }

    std::string open() const { return fakevexif::openModule(m_library->handle()); }

    ModuleWindowState m_window;
    QV_ModuleInfo m_info{};
    std::unique_ptr<TModIfCpp> m_library;
    std::unique_ptr<AnalyserData> m_data;
    std::unique_ptr<ModuleAttachment> m_attachment;
};

TEST_F(ModuleAttachmentTest, AttachesTheSelectedModule) {
    m_data->SelectModule("QV000001", 'c');
    EXPECT_EQ(open(), "QV000001");
    EXPECT_EQ(m_window.moduleText, "Using QV000001");
    EXPECT_TRUE(m_window.runEnabled);
    EXPECT_FALSE(m_window.stopEnabled);
    EXPECT_EQ(m_window.runStateText, "Idle");
    EXPECT_EQ(m_window.runState, 0);
    EXPECT_EQ(m_info.channelCount, 18);
    EXPECT_EQ(m_window.gridChannels, 18);
    EXPECT_EQ(m_window.windowChannels, 18);

    fakevexif::setPinText("01RFB011110000111100");
    m_attachment->PollPins();
    EXPECT_EQ(m_window.pins, "01RFB0111100001111");
}

TEST_F(ModuleAttachmentTest, SwitchingClosesTheOldModuleBeforeOpeningTheNew) {
    m_data->SelectModule("QV000001", 'c');
    fakevexif::clearCalls();
    m_data->SelectModule("QV000002", 'o');
    const std::vector<std::string> names = fakevexif::callNames();
    const auto close = std::find(names.begin(), names.end(), "QV_CloseMod");
    const auto openNew = std::find(names.begin(), names.end(), "QV_OpenMod");
    ASSERT_NE(close, names.end());
    ASSERT_NE(openNew, names.end());
    EXPECT_LT(close - names.begin(), openNew - names.begin());
    EXPECT_EQ(fakevexif::lastCall("QV_OpenMod")->text, "QV000002");
    EXPECT_EQ(open(), "QV000002");
    EXPECT_EQ(m_window.runStateText, "Idle");
    EXPECT_EQ(m_window.gridChannels, 16);
    EXPECT_EQ(m_window.windowChannels, 16);
}

TEST_F(ModuleAttachmentTest, OpenFailureLeavesTheWindowModuleLess) {
    m_data->SelectModule("QV000001", 'c');
    m_window.pins = "x";
    // A module taken by another session cannot be opened.
    m_data->SelectModule("QV000003", 'c');
    EXPECT_EQ(open(), "");
    EXPECT_FALSE(m_window.runEnabled);
    EXPECT_FALSE(m_window.stopEnabled);
    EXPECT_EQ(m_window.runStateText, "");
    EXPECT_EQ(m_window.pins, std::string(18, '0'));
    EXPECT_EQ(m_window.moduleText, "Using QV000001"); // unchanged
    // Polling a closed module shows nothing new and asks for no pins.
    m_window.pins = "kept";
    m_attachment->PollPins();
    EXPECT_EQ(m_window.pins, "kept");
    EXPECT_EQ(fakevexif::callCount("QV_GetPinStatus"), 0);
}

TEST_F(ModuleAttachmentTest, InfoFailureClosesTheModuleAgainAndKeepsTheSize) {
    m_data->SelectModule("QV000001", 'c');
    // Let the data model take the name without telling the window, so the
    // window's own QV_Info is the next one.
    AnalyserData other;
    other.SelectModule("QV000002", 'o');
    ModuleAttachment attachment(m_window, other, m_info);
    fakevexif::failNext("QV_Info", QV_ERR_UNKNOWN_MODEL);
    attachment.ModuleChanged(AnalyserEvent::ModuleChanged, 0, 0);
    EXPECT_EQ(fakevexif::callsOf("QV_OpenMod").back().text, "QV000002");
    EXPECT_EQ(open(), "");
    EXPECT_FALSE(m_window.runEnabled);
    EXPECT_EQ(m_window.runStateText, "");
    EXPECT_EQ(m_info.channelCount, 18);
    EXPECT_EQ(m_window.gridChannels, 18);
    EXPECT_EQ(m_window.windowChannels, 18);
    EXPECT_EQ(m_window.pins, std::string(18, '0'));
    EXPECT_EQ(m_window.moduleText, "Using QV000002"); // closing leaves the panel alone
}

TEST_F(ModuleAttachmentTest, EmptyNameClosesAndOpensNothing) {
    m_data->SelectModule("QV000001", 'c');
    fakevexif::clearCalls();
    const int resets = m_window.resets;
    m_data->SelectModule("", 'u');
    EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 1);
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 0);
    EXPECT_EQ(m_window.resets, resets);
    EXPECT_EQ(open(), "");
    EXPECT_FALSE(m_window.runEnabled);
    EXPECT_EQ(m_window.pins, std::string(18, '0'));
}

TEST_F(ModuleAttachmentTest, OtherEventsAreIgnored) {
    m_data->SetAllowSimulations(true);
    m_attachment->ModuleChanged(AnalyserEvent::Setting10, 0, 0);
    EXPECT_TRUE(fakevexif::calls().empty());
}

TEST_F(ModuleAttachmentTest, PinFailureClosesTheModule) {
    m_data->SelectModule("QV000001", 'c');
    for (const char* fn : {"QV_GetPinStatus", "QV_ModIsOpen"}) {
        SCOPED_TRACE(fn);
        check(QV_OpenMod(m_library->handle(), "QV000001"));
        m_window.runEnabled = true;
        fakevexif::failNext(fn, QV_ERR_CONNECTION_LOST);
        m_attachment->PollPins();
        EXPECT_EQ(open(), "");
        EXPECT_FALSE(m_window.runEnabled);
        EXPECT_EQ(m_window.pins, std::string(18, '0'));
    }
}

TEST_F(ModuleAttachmentTest, CloseFailureIsIgnored) {
    m_data->SelectModule("QV000001", 'c');
    m_window.runState = 1;
    fakevexif::failNext("QV_CloseMod", QV_ERR_CONNECTION_LOST);
    m_attachment->CloseModule();
    EXPECT_FALSE(m_window.runEnabled);
    EXPECT_EQ(m_window.runStateText, "");
    EXPECT_EQ(m_window.pins, std::string(18, '0'));
    EXPECT_EQ(m_window.runState, 0);
}

// The one failure that cannot be absorbed: the library cannot say whether a
// module is open. It leaves to the window's handler boundary.
TEST_F(ModuleAttachmentTest, OpenStateFailureEscapesTheListener) {
    m_data->SelectModule("QV000001", 'c');
    fakevexif::failAlways("QV_ModIsOpen", QV_ERR_CONNECTION_LOST);
    EXPECT_THROW(m_attachment->CloseModule(), TModIfError);
    EXPECT_THROW(m_attachment->ModuleChanged(AnalyserEvent::ModuleChanged, 0, 0), TModIfError);
    EXPECT_THROW(m_attachment->PollPins(), TModIfError);
}

} // namespace
