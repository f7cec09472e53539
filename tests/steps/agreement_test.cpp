// The CBA and EULA steps: the document in the text pane, the acceptance
// recorded by MD5, and the cases where the page does not show.
#include "agreements/req_agreement.h"
#include "command_line.h"
#include "launcher_process.h"
#include "localization.h"
#include "log.h"
#include "manifest.h"
#include "settings_store.h"
#include "shown_agreement.h"
#include "step_messages.h"
#include "steps_test_support.h"

#include <gtest/gtest.h>

#include <memory>

using testing_support::TempDir;
using testing_support::WriteFileBytes;

namespace {

const wchar_t kHash[] = L"0123456789ABCDEF0123456789ABCDEF";
const char kCba[] = "{\\rtf1\\ansi Collective bargaining text}";
const char kEula[] = "{\\rtf1\\ansi End user licence text}";

class AgreementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        steps_test::ResetQueueState();
        steps_test::TakeQuitMessage();
        ASSERT_TRUE(WriteFileBytes(cbaPath_, kCba));
        ASSERT_TRUE(WriteFileBytes(eulaPath_, kEula));
        CbaFilePath = cbaPath_;
        CbaFileHash = kHash;
        EulaFilePath = eulaPath_;
        EulaFileHash = kHash;
        CbaDocument.forceConsumed = false;
        EulaDocument.forceConsumed = false;
        ShowIntroAfterEula = false;
        ShownAgreement = AGREEMENT_NONE;
        WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
        WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", L"");
    }
    void TearDown() override
    {
        CbaFilePath.clear();
        EulaFilePath.clear();
        HeadlessMode = false;
        SetCommandLineForTest(nullptr);
        steps_test::TakeQuitMessage();
    }

    // Runs the step; when it shows its page, presses AGREE (if agree) and
    // destroys the page. Returns whether the page showed.
    bool RunAndAnswer(Requirement& step, bool agree = true)
    {
        HWND page = step.Run(host_.get());
        if (!page)
            return false;
        if (agree) {
            SendMessageW(page, WM_COMMAND, IDC_MAIN_BUTTON, 0);
            EXPECT_TRUE(host_.WaitForEnd());
        }
        DestroyWindow(page);
        return true;
    }

    TempDir dir_;
    std::wstring cbaPath_ = dir_ / L"cba_en.rtf";
    std::wstring eulaPath_ = dir_ / L"eula_en.rtf";
    steps_test::StepHost host_;
};

TEST_F(AgreementTest, ShownAcceptedRecordedAndShownAgainForANewVersion)
{
    ReqCBA cba;
    HWND page = cba.Run(host_.get());
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(host_.narrowTexts.size(), 1u);
    EXPECT_EQ(host_.narrowTexts[0], kCba);
    EXPECT_EQ(host_.shownAgreementAtText[0], AGREEMENT_CBA);
    EXPECT_TRUE(IsWindowEnabled(host_.button()));
    wchar_t caption[64] = {};
    GetWindowTextW(host_.button(), caption, 64);
    EXPECT_EQ(caption, steps_test::Text("AGREE"));

    // Other buttons and notifications do not agree.
    SendMessageW(page, WM_COMMAND, IDC_ALT_BUTTON, 0);
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_MAIN_BUTTON, BN_SETFOCUS), 0);
    steps_test::PumpMessages();
    EXPECT_EQ(host_.succeeded, 0);
    EXPECT_EQ(ClientTypeSetting(L"ReadCba"), L"");

    SendMessageW(page, WM_COMMAND, IDC_MAIN_BUTTON, 0);
    ASSERT_TRUE(host_.WaitForEnd());
    EXPECT_EQ(host_.succeeded, 1);
    EXPECT_EQ(ClientTypeSetting(L"ReadCba"), kHash);
    EXPECT_EQ(ShownAgreement, AGREEMENT_NONE);
    EXPECT_FALSE(ShowIntroAfterEula); // only the EULA leads to the intro page
    DestroyWindow(page);

    // Accepted: the next chain goes past it.
    ReqCBA again;
    EXPECT_FALSE(RunAndAnswer(again));
    EXPECT_TRUE(IsCbaAccepted());

    // A new version, even one that differs only in letter case, shows again.
    CbaFileHash = L"0123456789abcdef0123456789ABCDEF";
    EXPECT_FALSE(IsCbaAccepted());
    ReqCBA newer;
    EXPECT_TRUE(RunAndAnswer(newer));
    EXPECT_EQ(ClientTypeSetting(L"ReadCba"), CbaFileHash);

    // The EULA: its own value, and the intro page afterwards.
    ReqEULA eula;
    EXPECT_TRUE(RunAndAnswer(eula));
    EXPECT_EQ(host_.narrowTexts.back(), kEula);
    EXPECT_EQ(host_.shownAgreementAtText.back(), AGREEMENT_EULA);
    EXPECT_EQ(ClientTypeSetting(L"ReadEula"), kHash);
    EXPECT_TRUE(ShowIntroAfterEula);
}

TEST_F(AgreementTest, DecliningMeansQuittingAndNothingIsRecorded)
{
    // Closing the launcher while the page shows records nothing.
    ReqEULA eula;
    EXPECT_TRUE(RunAndAnswer(eula, false));
    EXPECT_EQ(host_.succeeded, 0);
    EXPECT_EQ(ClientTypeSetting(L"ReadEula"), L"");
    EXPECT_FALSE(ShowIntroAfterEula);

    // A document that cannot be read leaves only the QUIT page.
    DeleteFileW(cbaPath_.c_str());
    ReqCBA cba;
    HWND page = cba.Run(host_.get());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(cba.kind, STEP_PROGRESS_HIDDEN);
    steps_test::PumpMessages();
    ASSERT_FALSE(host_.pageKeys.empty());
    EXPECT_EQ(host_.pageKeys.back(), "UPDATE_FAILED");
    SendMessageW(page, WM_COMMAND, IDC_MAIN_BUTTON, 0);
    EXPECT_TRUE(steps_test::TakeQuitMessage());
    DestroyWindow(page);
    EXPECT_EQ(ClientTypeSetting(L"ReadCba"), L"");

    // An empty document too.
    ASSERT_TRUE(WriteFileBytes(cbaPath_, ""));
    ReqCBA empty;
    page = empty.Run(host_.get());
    steps_test::PumpMessages();
    EXPECT_EQ(host_.pageKeys.back(), "UPDATE_FAILED");
    DestroyWindow(page);

    // And one larger than a document may be, which is not read.
    ASSERT_TRUE(WriteFileBytes(cbaPath_, std::string(AGREEMENT_MAX_BYTES + 1, ' ')));
    size_t texts = host_.narrowTexts.size();
    size_t keys = host_.pageKeys.size();
    ReqCBA large;
    page = large.Run(host_.get());
    steps_test::PumpMessages();
    ASSERT_EQ(host_.pageKeys.size(), keys + 1);
    EXPECT_EQ(host_.pageKeys.back(), "UPDATE_FAILED");
    EXPECT_EQ(host_.narrowTexts.size(), texts);
    DestroyWindow(page);
}

TEST_F(AgreementTest, ForceSwitchLocalCopyAndHeadless)
{
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", kHash);
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadEula", kHash);

    // Without a document the switch is not used up.
    SetCommandLineForTest(L"Launcher.exe -force:agreements");
    CbaFilePath.clear();
    ReqCBA none;
    EXPECT_EQ(none.Run(host_.get()), nullptr);
    EXPECT_FALSE(CbaDocument.forceConsumed);
    EXPECT_EQ(ClientTypeSetting(L"ReadCba"), kHash);

    // The first chain shows the accepted document again; later ones do not.
    CbaFilePath = cbaPath_;
    ReqCBA first;
    EXPECT_TRUE(RunAndAnswer(first));
    ReqCBA second;
    EXPECT_FALSE(RunAndAnswer(second));

    // Headless: the step succeeds at once and records nothing.
    HeadlessMode = true;
    ReqEULA headless;
    HWND page = headless.Run(host_.get());
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(host_.WaitForEnd());
    EXPECT_EQ(ShownAgreement, AGREEMENT_NONE);
    EXPECT_EQ(ClientTypeSetting(L"ReadEula"), L""); // emptied by the switch, not written
    EXPECT_FALSE(ShowIntroAfterEula);
    DestroyWindow(page);
    HeadlessMode = false;

    // "-localcba": the build share's document shows, but AGREE records the
    // manifest document's MD5. Drive S: is the build share in the test runs.
    ASSERT_NE(GetFileAttributesW(L"S:\\"), INVALID_FILE_ATTRIBUTES) << "no drive S: (scripts/wine_env.sh)";
    const char localCba[] = "{\\rtf1\\ansi Collective bargaining text of the build share}";
    for (const wchar_t* folder : {L"S:\\Korvessa", L"S:\\Korvessa\\Ornix", L"S:\\Korvessa\\Ornix\\Language"})
        CreateDirectoryW(folder, nullptr);
    const wchar_t localPath[] = L"S:\\Korvessa\\Ornix\\Language\\CBA_en.rtf";
    ASSERT_TRUE(WriteFileBytes(localPath, localCba));
    SetCommandLineForTest(L"Launcher.exe -localcba");
    WriteSettingString(SCOPE_CLIENT_TYPE, L"ReadCba", L"");
    ReqCBA local;
    EXPECT_TRUE(RunAndAnswer(local));
    DeleteFileW(localPath);
    EXPECT_EQ(host_.narrowTexts.back(), localCba);
    EXPECT_EQ(ClientTypeSetting(L"ReadCba"), kHash);
}

} // namespace
