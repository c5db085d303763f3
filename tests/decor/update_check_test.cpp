// The whole skin update check against the local service's update page (its control route sets
// what the page announces).
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/environment.h"
#include "core/text.h"
#include "decor/update_check.h"
#include "http/encoding.h"
#include "tests/support/service_client.h"
#include "tests/support/window_test_support.h"
#include "ui/dialogs.h"

namespace {

struct Shown {
    Text text, title;
    unsigned flags;
};
std::vector<Shown> messages;
std::vector<Text> opened;

int RecordMessage(const ui::MessageRequest& request) {
    messages.push_back({request.text, request.title, request.flags});
    EXPECT_EQ(request.owner, nullptr) << "the update message has no owner";
    return IDOK;
}
void RecordOpen(const Text& address) {
    opened.push_back(address);
}

DWORD WINAPI RunCheck(void*) {
    CheckSkinUpdate();
    return 0;
}

class UpdateCheckService : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(ServiceUrl().empty()) << "LZF_SERVICE_URL is not set";
        ASSERT_TRUE(ServiceControl("reset=1"));
        messages.clear();
        opened.clear();
        ui::SetMessageObserver(RecordMessage);
        ui::SetOpenAddressObserver(RecordOpen);
        SetUpdateUrl(ServiceUrl() + "skin/update.html");
    }
    void TearDown() override {
        ui::SetMessageObserver({});
        ui::SetOpenAddressObserver({});
    }
    static void SetUpdateUrl(const std::string& url) {
        SetEnvironmentVariableA("LANZIFANG_UPDATE_URL", url.c_str());
    }
    // Runs the check in a thread and waits for it with a bound: a hanging check fails the
    // test instead of blocking it.
    static bool CheckFinishesWithin(DWORD ms) {
        HANDLE thread = CreateThread(nullptr, 0, RunCheck, nullptr, 0, nullptr);
        bool done = WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
        CloseHandle(thread);
        return done;
    }
};

// Concatenates the pieces (a helper instead of chains of operator+, which this compiler
// version warns about wrongly).
std::string Join(std::initializer_list<std::string> pieces) {
    std::string out;
    for (const std::string& p : pieces)
        out += p;
    return out;
}

std::vector<Text> Lines(const Text& text) {
    return SplitText(text, "\r\n");
}

TEST_F(UpdateCheckService, NewerVersionShowsTheMessageThenOpensTheAddress) {
    ASSERT_TRUE(ServiceControl("skin_version=3.5&skin_time=2025-03-01&skin_size=2.1MB"));
    ASSERT_TRUE(CheckFinishesWithin(20000));
    ASSERT_EQ(messages.size(), 1u);
    const Shown& box = messages[0];
    EXPECT_EQ(box.title, "发现皮肤新版本");
    EXPECT_EQ(box.flags, static_cast<unsigned>(MB_OK | MB_TASKMODAL));
    std::vector<Text> lines = Lines(box.text);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[0], "〔青岚皮肤模块〕");
    EXPECT_EQ(lines[1], "更新时间：2025-03-01");
    EXPECT_EQ(lines[2], "更新大小：2.1MB");
    EXPECT_EQ(lines[3], "皮肤版本：3.5");
    // The service's default notes, converted from the page's UTF-8.
    EXPECT_EQ(lines[4], "※  修正了窗口最大化后阴影残留的问题");
    EXPECT_EQ(lines[13], "※  其他细节改进");
    EXPECT_EQ(SkinVersionText(), "3.5");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], ServiceUrl() + "skin/download.html");
}

TEST_F(UpdateCheckService, SameOrUnreadableVersionShowsNothing) {
    for (const char* version : {"3.4", "V3.5", "3.39", "abc"}) {
        ASSERT_TRUE(ServiceControl(Join({"skin_version=", ServiceEscape(version)})));
        ASSERT_TRUE(CheckFinishesWithin(20000));
        EXPECT_TRUE(messages.empty()) << version;
        EXPECT_TRUE(opened.empty()) << version;
    }
}

TEST_F(UpdateCheckService, FullWidthDigitsAndFewItems) {
    ASSERT_TRUE(ServiceControl(Join({"skin_version=", ServiceEscape(GbkToUtf8("３．６")),
                                     "&skin_items=", ServiceEscape(GbkToUtf8("甲|乙"))})));
    ASSERT_TRUE(CheckFinishesWithin(20000));
    ASSERT_EQ(messages.size(), 1u);
    std::vector<Text> lines = Lines(messages[0].text);
    ASSERT_EQ(lines.size(), 14u);
    EXPECT_EQ(lines[3], "皮肤版本：３．６");
    EXPECT_EQ(lines[4], "※  甲");
    EXPECT_EQ(lines[5], "※  乙");
    for (std::size_t i = 6; i < 14; ++i)
        EXPECT_EQ(lines[i], "※  ") << i;
}

TEST_F(UpdateCheckService, AddressesThatAreNotWebAddressesAreNotOpened) {
    for (const char* address : {"file:///C:/Windows/system32/calc.exe",
                                "C:\\Windows\\system32\\calc.exe", "calc.exe", "http://"}) {
        messages.clear();
        ASSERT_TRUE(ServiceControl(Join({"skin_version=9&skin_url=", ServiceEscape(address)})));
        ASSERT_TRUE(CheckFinishesWithin(20000));
        EXPECT_EQ(messages.size(), 1u) << address;
        EXPECT_TRUE(opened.empty()) << address;
    }
}

TEST_F(UpdateCheckService, ErrorPageCountsAsNoPage) {
    ASSERT_TRUE(ServiceControl("skin_version=3.5"));
    ASSERT_TRUE(ServiceControl("path=/skin/update.html&status=404"));
    ASSERT_TRUE(CheckFinishesWithin(20000));
    EXPECT_TRUE(messages.empty());
}

TEST_F(UpdateCheckService, StalledPageDoesNotHoldTheStart) {
    ASSERT_TRUE(ServiceControl("skin_version=3.5"));
    ASSERT_TRUE(ServiceControl("path=/skin/update.html&delay_ms=30000"));
    EXPECT_TRUE(CheckFinishesWithin(kSkinUpdateFetchLimitMs + 3000));
    EXPECT_TRUE(messages.empty());
    ASSERT_TRUE(ServiceControl("path=/skin/update.html&drip_bytes=1&drip_ms=500"));
    EXPECT_TRUE(CheckFinishesWithin(kSkinUpdateFetchLimitMs + 3000));
    EXPECT_TRUE(messages.empty());
}

TEST_F(UpdateCheckService, NoServerIsSilent) {
    // A port nobody listens on: take a free one and close it again.
    const int port = testsupport::UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    SetUpdateUrl(Join({"http://127.0.0.1:", std::to_string(port), "/skin/update.html"}));
    EXPECT_TRUE(CheckFinishesWithin(kSkinUpdateFetchLimitMs + 3000));
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(opened.empty());
}

}  // namespace
