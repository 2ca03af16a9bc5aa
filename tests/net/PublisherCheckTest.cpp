// The publisher check on prepared packages (tools/pki/forge.sh). This program
// is signed by the test publisher, as the shipped installer is, and runs in
// the sandbox, whose Wine prefix trusts the test root.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "TestPaths.h"
#include "net/PublisherCheck.h"
#include "tests/common/TestServer.h"

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring Forged(const wchar_t* name)
{
    return std::wstring(TEST_FORGED_DIR) + L"\\" + name;
}

class PublisherCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SignerName(Self().c_str()).empty()) << "this test program is not signed";
        ASSERT_TRUE(TestServer::Reset()) << "the test server does not answer on port 80 (run inside tools/sandbox.sh)";
    }

    // The test certificates name issuer and revocation-list addresses on the
    // update host, which the sandbox sends to the test server: any fetch of
    // them is recorded there.
    void ExpectNothingFetched()
    {
        for (const TestServer::Request& r : TestServer::Requests())
            ADD_FAILURE() << "the check reached the network: " << r.method << " " << r.path;
    }

    static std::wstring Self()
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        return path;
    }
};

TEST_F(PublisherCheck, OpensAPackageOfTheSamePublisher)
{
    EXPECT_EQ(SignerName(TEST_DEMO_PACKAGE), SignerName(Self().c_str()));
    EXPECT_TRUE(IsTrustedPackage(TEST_DEMO_PACKAGE));
    // Twice: the second check has the roots loaded already and must agree.
    EXPECT_TRUE(IsTrustedPackage(TEST_DEMO_PACKAGE));
    ExpectNothingFetched();
}

TEST_F(PublisherCheck, RefusesEveryOtherPackage)
{
    struct Case {
        const wchar_t* file;
        const char* what;
    };
    const Case cases[] = {
        {L"unsigned.exe", "no signature"},
        {L"other.exe", "another publisher under the same root"},
        {L"lookalike.exe", "self-signed, with the publisher's exact name"},
        {L"nocodesign.exe", "the publisher's name and CA, without the code-signing usage"},
        {L"orphan.exe", "the publisher's name, a CA that only its named address could give"},
        {L"changed.exe", "one byte changed after signing"},
        {L"appended.exe", "bytes appended after signing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::wstring path = Forged(c.file);
        ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(path) << " was not made";
        EXPECT_FALSE(IsTrustedPackage(path.c_str())) << Narrow(path) << " signed by " << Narrow(SignerName(path.c_str()));
    }
    ExpectNothingFetched();
}

// The forged signers that copy the publisher's name copy all of it, so that
// their refusal comes from the chain and the usage, not from the name.
TEST_F(PublisherCheck, ForgedSignersCopyThePublishersWholeName)
{
    for (const wchar_t* file : {L"lookalike.exe", L"nocodesign.exe", L"orphan.exe"}) {
        EXPECT_EQ(SignerName(Forged(file).c_str()), SignerName(TEST_DEMO_PACKAGE)) << Narrow(file);
    }
}

TEST_F(PublisherCheck, MissingOrUnreadableFileIsRefused)
{
    EXPECT_FALSE(IsTrustedPackage(Forged(L"no-such-package.exe").c_str()));
    EXPECT_FALSE(IsTrustedPackage(nullptr));
    EXPECT_EQ(SignerName(Forged(L"unsigned.exe").c_str()), L"");
}

}  // namespace
