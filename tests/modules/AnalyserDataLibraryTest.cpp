// AnalyserData against the scripted fake library: which calls the model
// description lookup makes, and what happens when they fail.
#include "FakeVexif.h"
#include "TModIfCpp.h"
#include "modules/vladata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

class AnalyserDataLibrary : public ::testing::Test {
protected:
    void SetUp() override { fakevexif::reset(); }
};

const std::vector<std::string> kLookup = {"QV_Initialize", "QV_Info", "QV_Finalize"};

TEST_F(AnalyserDataLibrary, LooksUpModelsWithAHandleOfItsOwnOnlyWhenTheCodeChanges) {
    AnalyserData data;
    EXPECT_EQ(fakevexif::callNames(), kLookup);
    EXPECT_EQ(fakevexif::lastCall("QV_Info")->args.at(0), 'o');
    EXPECT_EQ(fakevexif::liveHandles(), 0);

    data.SelectModule("QV000001", 'c');
    fakevexif::clearCalls();
    EXPECT_FALSE(data.SetModelCode('u'));
    EXPECT_FALSE(data.SetModelCode('c'));
    data.SelectModule("QV000001", 'b'); // same name
    data.SelectModule("", 'u');
    EXPECT_TRUE(fakevexif::calls().empty());
}

TEST_F(AnalyserDataLibrary, ModelRecordSetsFlagsAndSamplePosition) {
    AnalyserData data;
    EXPECT_FALSE(data.flag8()); // 'o': no extended triggers
    EXPECT_TRUE(data.flag11()); // adjustable threshold
    data.loadCapture({{0, 1000}});
    data.SelectModule("QV000001", 'c'); // 262144 samples: half is beyond the capture
    EXPECT_TRUE(data.flag8());
    EXPECT_EQ(data.samplePosition(), 999);

    data.loadCapture({{0, 200000}});
    data.SelectModule("QV000002", 'r'); // 65536 samples, fixed threshold
    EXPECT_EQ(data.samplePosition(), 32768);
    EXPECT_FALSE(data.flag8());
    EXPECT_FALSE(data.flag11());
    EXPECT_EQ(data.inputs().size(), 8u);
}

// The temporary handle is released on every path, failure included.
TEST_F(AnalyserDataLibrary, FailingLookupPropagatesAndReleasesTheHandle) {
    for (const char* fn : {"QV_Initialize", "QV_Info"}) {
        SCOPED_TRACE(fn);
        fakevexif::reset();
        fakevexif::failNext(fn, QV_ERR_BAD_ARGUMENT);
        EXPECT_THROW(AnalyserData data, TModIfError);
        EXPECT_EQ(fakevexif::liveHandles(), 0);

        AnalyserData data;
        std::vector<int32_t> codes;
        data.AddListener([](void* log, int32_t event, int32_t,
                            int32_t) { static_cast<std::vector<int32_t>*>(log)->push_back(event); },
                         &codes);
        fakevexif::clearCalls();
        fakevexif::failNext(fn, QV_ERR_UNKNOWN_MODEL);
        try {
            data.SelectModule("QV000001", 'c');
            ADD_FAILURE() << "no exception";
        } catch (const TModIfError& e) {
            EXPECT_EQ(e.status(), QV_ERR_UNKNOWN_MODEL);
        }
        const bool infoFailed = fn == std::string("QV_Info");
        EXPECT_EQ(fakevexif::callNames(),
                  infoFailed ? kLookup : std::vector<std::string>{"QV_Initialize"});
        EXPECT_EQ(fakevexif::liveHandles(), 0);
        // The name and code taken before the failure stay, no event 0 is
        // sent, and the old description (model 'o') is still in place.
        EXPECT_EQ(data.moduleName(), "QV000001");
        EXPECT_EQ(data.modelCode(), 'c');
        EXPECT_EQ(data.inputs().size(), 16u);
        EXPECT_EQ(std::count(codes.begin(), codes.end(), AnalyserEvent::ModuleChanged), 0);
    }
}

// The temporary handle's QV_Finalize status is dropped by TModIfCpp: the
// description it bracketed was read completely, so it is used.
TEST_F(AnalyserDataLibrary, FailingFinalizeStillLoadsTheDescription) {
    AnalyserData data;
    fakevexif::failNext("QV_Finalize", QV_ERR_BAD_HANDLE);
    EXPECT_NO_THROW(data.SelectModule("QV000001", 'b'));
    EXPECT_EQ(data.inputs().size(), 32u);
}

} // namespace
