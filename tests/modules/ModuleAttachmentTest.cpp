// ModuleAttachment against the scripted device library and the real data
// model: opening, closing and pin polling, and the failures that must leave
// the window module-less without a message. Switching and failing opens are
// tested through the whole main window (tests/app/WindowModuleTest.cpp).
#include "modules/ModuleAttachment.h"

#include "FakeVexif.h"
#include "ModuleWindowState.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

class ModuleAttachmentTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakevexif::reset();
        fakevexif::setModules({{"QV000001", 'c', 'f', 'p'},
                               {"QV000002", 'o', 'f', 'p'},
                               {"QV000003", 'c', 't', 'p'}});
        m.emplace();
        fakevexif::clearCalls();
    }
    std::string open() const { return fakevexif::openModule(m->library.handle()); }
    // The window as a closed module leaves it, whatever closed it.
    void expectModuleLess() {
        EXPECT_EQ(open(), "");
        EXPECT_FALSE(m->window.runEnabled);
        EXPECT_EQ(m->window.runStateText, "");
        EXPECT_EQ(m->window.pins, std::string(18, '0'));
    }

    std::optional<AttachedModel> m;
};

TEST_F(ModuleAttachmentTest, AttachesTheSelectedModule) {
    m->data.SelectModule("QV000001", 'c');
    EXPECT_EQ(open(), "QV000001");
    const ModuleWindowState& w = m->window;
    EXPECT_EQ(w.moduleText, "Using QV000001");
    EXPECT_TRUE(w.runEnabled);
    EXPECT_FALSE(w.stopEnabled);
    EXPECT_EQ(w.runStateText, "Idle");
    EXPECT_EQ(w.runState, 0);
    EXPECT_EQ(m->info.channelCount, 18);
    EXPECT_EQ(w.gridChannels, 18);
    EXPECT_EQ(w.windowChannels, 18);

    fakevexif::setPinText("01RFB011110000111100");
    m->attachment.PollPins();
    EXPECT_EQ(w.pins, "01RFB0111100001111");

    // Events other than a module change leave the library alone.
    fakevexif::clearCalls();
    m->data.SetAllowSimulations(true);
    m->attachment.ModuleChanged(AnalyserEvent::Setting10, 0, 0);
    EXPECT_TRUE(fakevexif::calls().empty());
}

TEST_F(ModuleAttachmentTest, EmptyNameClosesAndOpensNothing) {
    m->data.SelectModule("QV000001", 'c');
    fakevexif::clearCalls();
    const int resets = m->window.resets;
    m->data.SelectModule("", 'u');
    EXPECT_EQ(fakevexif::callCount("QV_CloseMod"), 1);
    EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 0);
    EXPECT_EQ(m->window.resets, resets);
    expectModuleLess();
    // Polling a closed module shows nothing new and asks for no pins.
    m->window.pins = "kept";
    m->attachment.PollPins();
    EXPECT_EQ(m->window.pins, "kept");
    EXPECT_EQ(fakevexif::callCount("QV_GetPinStatus"), 0);
}

// A failing pin read closes the module; a failing close is ignored.
TEST_F(ModuleAttachmentTest, FailuresWhileAttachedEndModuleLess) {
    m->data.SelectModule("QV000001", 'c');
    for (const char* fn : {"QV_GetPinStatus", "QV_ModIsOpen", "QV_CloseMod"}) {
        SCOPED_TRACE(fn);
        check(QV_OpenMod(m->library.handle(), "QV000001"));
        m->window.runEnabled = true;
        m->window.runState = 1;
        fakevexif::failNext(fn, QV_ERR_CONNECTION_LOST);
        const bool closing = fn == std::string("QV_CloseMod");
        closing ? m->attachment.CloseModule() : m->attachment.PollPins();
        if (!closing) {
            EXPECT_EQ(open(), "");
        }
        EXPECT_FALSE(m->window.runEnabled);
        EXPECT_EQ(m->window.runStateText, "");
        EXPECT_EQ(m->window.pins, std::string(18, '0'));
        EXPECT_EQ(m->window.runState, 0);
    }
}

// The one failure that cannot be absorbed: the library cannot say whether a
// module is open. It leaves to the window's handler boundary, but only after
// the displays are reset (a server that is gone holds no count).
TEST_F(ModuleAttachmentTest, OpenStateFailureEscapesTheListener) {
    m->data.SelectModule("QV000001", 'c');
    m->window.stopEnabled = true;
    m->window.runStateText = "Counting";
    m->window.runState = 1;
    fakevexif::failAlways("QV_ModIsOpen", QV_ERR_CONNECTION_LOST);
    EXPECT_THROW(m->attachment.CloseModule(), TModIfError);
    EXPECT_FALSE(m->window.runEnabled);
    EXPECT_FALSE(m->window.stopEnabled);
    EXPECT_EQ(m->window.runStateText, "");
    EXPECT_EQ(m->window.pins, std::string(18, '0'));
    EXPECT_EQ(m->window.runState, 0);
    EXPECT_THROW(m->attachment.ModuleChanged(AnalyserEvent::ModuleChanged, 0, 0), TModIfError);
    EXPECT_THROW(m->attachment.PollPins(), TModIfError);
}

} // namespace
