// ModuleAttachment against the scripted device library and the real data
// model: opening, closing and pin polling, the failures that must leave the
// window module-less without a message but with the reason, and the reopening
// of a lost module. Switching and failing opens are tested through the whole
// main window (tests/app/WindowModuleTest.cpp).
#include "modules/ModuleAttachment.h"

#include "FakeVexif.h"
#include "ModuleWindowState.h"

#include <gtest/gtest.h>

#include <functional>
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
    // The window as a closed module leaves it, with the reason of the close.
    void expectModuleLess(const std::string& reason) {
        EXPECT_EQ(open(), "");
        EXPECT_FALSE(m->window.runEnabled);
        EXPECT_EQ(m->window.moduleText, "No module open");
        EXPECT_EQ(m->window.runStateText, reason);
        EXPECT_EQ(m->attachment.closeReason(), reason);
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
    expectModuleLess("Module not listed");
    // Polling a closed module shows nothing new and asks for no pins.
    m->window.pins = "kept";
    m->attachment.PollPins();
    EXPECT_EQ(m->window.pins, "kept");
    EXPECT_EQ(fakevexif::callCount("QV_GetPinStatus"), 0);
}

// A failing pin read closes the module; a failing close is ignored.
TEST_F(ModuleAttachmentTest, FailuresWhileAttachedEndModuleLess) {
    m->data.SelectModule("QV000001", 'c');
    const std::pair<const char*, const char*> cases[] = {{"QV_GetPinStatus", "Server lost"},
                                                         {"QV_ModIsOpen", "Server lost"},
                                                         {"QV_CloseMod", "Library error"}};
    for (const auto& [fn, reason] : cases) {
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
        EXPECT_EQ(m->window.runStateText, reason);
        EXPECT_EQ(m->window.pins, std::string(18, '0'));
        EXPECT_EQ(m->window.runState, 0);
    }
}

// Every close says why in the state panel, and the module panel names no
// module. A module lost with its server, or closed by itself, is opened again
// after the next good list refresh; after any other close it waits for the
// user, whose choice of the same module opens it.
TEST_F(ModuleAttachmentTest, SaysWhyItClosedAndReopensALostModule) {
    const struct {
        const char* what;
        const char* module;
        std::function<void(AttachedModel&)> close;
        const char* reason;
        bool reopens;
    } cases[] = {
        {"pin read loses the server", "QV000001",
         [](AttachedModel& a) {
             fakevexif::failNext("QV_GetPinStatus", QV_ERR_CONNECTION_LOST);
             a.attachment.PollPins();
         },
         "Server lost", true},
        {"library cannot say whether open", "QV000001",
         [](AttachedModel& a) {
             fakevexif::failNext("QV_ModIsOpen", QV_ERR_TIMEOUT);
             EXPECT_THROW(a.attachment.CloseModule(), TModIfError);
             (void)QV_CloseMod(a.library.handle()); // the server dropped the session
         },
         "Server lost", true},
        {"module closed by itself", "QV000001",
         [](AttachedModel& a) {
             (void)QV_CloseMod(a.library.handle()); // behind the window's back
             a.attachment.PollPins();
         },
         "Module lost", true},
        {"open meets a lost server", "QV000002",
         [](AttachedModel& a) {
             fakevexif::failNext("QV_OpenMod", QV_ERR_CONNECTION_LOST);
             a.data.SelectModule("QV000002", 'o');
         },
         "Server lost", true},
        {"open refused: taken", "QV000002",
         [](AttachedModel& a) {
             fakevexif::failNext("QV_OpenMod", QV_ERR_MODULE_TAKEN);
             a.data.SelectModule("QV000002", 'o');
         },
         "Module taken", false},
        {"model description fails", "QV000002",
         [](AttachedModel& a) {
             fakevexif::failNext("QV_Info", QV_ERR_INTERNAL);
             a.data.SelectModule("QV000002", 'c'); // no model change: one QV_Info
         },
         "Open failed", false},
        {"pin read fails otherwise", "QV000001",
         [](AttachedModel& a) {
             fakevexif::failNext("QV_GetPinStatus", QV_ERR_INTERNAL);
             a.attachment.PollPins();
         },
         "Library error", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m.emplace();
        m->data.SelectModule("QV000001", 'c');
        ASSERT_EQ(open(), "QV000001");
        c.close(*m);
        expectModuleLess(c.reason);
        m->attachment.PollPins(); // nothing attached: nothing changes
        EXPECT_EQ(m->window.runStateText, c.reason);

        fakevexif::clearCalls();
        m->attachment.ReopenAfterLoss();
        EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), c.reopens ? 1 : 0);
        if (!c.reopens) {
            EXPECT_EQ(m->window.runStateText, c.reason);
            m->attachment.Reattach(); // the user chose the module again
        }
        EXPECT_EQ(open(), c.module);
        EXPECT_EQ(m->window.moduleText, std::string("Using ") + c.module);
        EXPECT_EQ(m->window.runStateText, "Idle");
        EXPECT_TRUE(m->window.runEnabled);
        EXPECT_EQ(m->attachment.closeReason(), "");

        // Once open, neither reopens it again.
        fakevexif::clearCalls();
        m->attachment.ReopenAfterLoss();
        m->attachment.Reattach();
        EXPECT_EQ(fakevexif::callCount("QV_OpenMod"), 0);
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
    EXPECT_EQ(m->window.runStateText, "Server lost");
    EXPECT_EQ(m->window.pins, std::string(18, '0'));
    EXPECT_EQ(m->window.runState, 0);
    EXPECT_THROW(m->attachment.ModuleChanged(AnalyserEvent::ModuleChanged, 0, 0), TModIfError);
    EXPECT_THROW(m->attachment.PollPins(), TModIfError);
}

} // namespace
