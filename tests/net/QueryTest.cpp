// The package URL query against the test server, through the dispatcher and
// the real WinINet, on the update host's real name and port 80.
#include <gtest/gtest.h>

#include <string>

#include "client/ClientInfo.h"
#include "net/NetManager.h"
#include "tests/common/TestServer.h"
#include "tests/net/TestCallbacks.h"

namespace {

const char kPath[] = "/api/1/update/pcoffice/packageurl";

enum class Data { Null, NullText, Text };

struct QueryCase {
    const char* name;
    std::string serverCase;  // JSON case for the query path
    int httpStatus;
    int resultCode;
    Data data;
    const wchar_t* url;  // Data::Text: the expected text
};

std::string Body(const std::string& text) { return "{\"body\": " + TestServer::Quote(text) + "}"; }

std::string Base64(const std::string& in) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (unsigned char c : in) {
        value = (value << 8) | c;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += digits[(value >> bits) & 63];
        }
    }
    if (bits > 0) out += digits[(value << (6 - bits)) & 63];
    while (out.size() % 4) out += '=';
    return out;
}

class QueryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(TestServer::Reset()) << "test server not reachable"; }

    RecordedResult Run(const std::string& serverCase) {
        if (!serverCase.empty()) {
            EXPECT_TRUE(TestServer::SetCase(kPath, serverCase));
        }
        CKoNetManager manager(&recorder);
        UINT id = manager.StartPackageUrlQuery();
        EXPECT_NE(id, 0u);
        RecordedResult r = {};
        EXPECT_TRUE(recorder.WaitResult(id, &r)) << "no report";
        ids.push_back(id);
        return r;
    }

    void TearDown() override {
        // A second report would come right after the first one.
        Sleep(200);
        for (UINT id : ids) EXPECT_EQ(recorder.ResultCount(id), 1u) << "task " << id;
    }

    Recorder recorder;
    std::vector<UINT> ids;
};

TEST_F(QueryTest, RequestOnTheWire) {
    RecordedResult r = Run(Body("{\"resultCode\": 0, \"url\": \"http://update.corvane.example/p.exe\"}\n"));
    EXPECT_EQ(r.httpStatus, 200);
    ASSERT_FALSE(r.dataNull);
    EXPECT_EQ(r.text, L"http://update.corvane.example/p.exe");

    std::vector<TestServer::Request> requests = TestServer::Requests();
    ASSERT_EQ(requests.size(), 1u);
    const TestServer::Request& q = requests[0];
    EXPECT_EQ(q.raw.substr(0, q.raw.find("\r\n")), "POST /api/1/update/pcoffice/packageurl HTTP/1.0");
    EXPECT_EQ(q.Body(), std::string("null\n", 5));
    EXPECT_EQ(q.Header("Content-Length"), "5");
    EXPECT_EQ(q.Header("Host"), "update.corvane.example");
    EXPECT_EQ(q.Header("Content-Type"), "application/json");
    CString ua = GetUserAgent();
    std::string agent(ua.GetString(), ua.GetString() + ua.GetLength());  // ASCII
    EXPECT_EQ(q.Header("User-Agent"), agent);
    EXPECT_EQ(agent.rfind("Corvane/5.0 (pc, ", 0), 0u) << agent;
    // The header text carries no line break of its own after its last header,
    // so no empty header line lands inside the head.
    EXPECT_EQ(q.Head().find("\r\n\r\n"), q.Head().size() - 4);
    EXPECT_EQ(q.Head().find("User-Agent"), q.Head().rfind("User-Agent"));
}

TEST_F(QueryTest, Replies) {
    std::string longUrl(70000, 'a');
    std::string deep = std::string(2000, '[') + std::string(2000, ']');
    const QueryCase cases[] = {
        {"one line", Body("{\"resultCode\":0,\"url\":\"http://h/a.exe\"}\n"), 200, 0, Data::Text, L"http://h/a.exe"},
        {"no line feed at all", Body("{\"resultCode\":0,\"url\":\"http://h/a.exe\"}"), 200, 0, Data::Text, L"http://h/a.exe"},
        {"CR LF", Body("{\"resultCode\":0,\"url\":\"http://h/b\"}\r\n"), 200, 0, Data::Text, L"http://h/b"},
        {"CR inside the text", Body("{\"resultCode\":0,\"url\":\"http://h/\r\rc\"}\n"), 200, 0, Data::Text, L"http://h/c"},
        {"pretty-printed", Body("{\n  \"resultCode\" : 0,\n  \"url\" : \"http://h/a\"\n}\n"), 200, -1, Data::NullText, nullptr},
        {"second line never read", Body("{\"resultCode\":0,\"url\":\"http://h/d\"}\n" + std::string(100000, 'z')), 200, 0, Data::Text, L"http://h/d"},
        {"zero byte ends the text", "{\"body_b64\": \"" + Base64(std::string("{\"resultCode\":0,\"url\":\"http://h/e\"}\0junk\n", 42)) + "\"}", 200, 0, Data::Text, L"http://h/e"},
        {"resultCode 0.0", Body("{\"resultCode\":0.0,\"url\":\"http://h/f\"}\n"), 200, 0, Data::Text, L"http://h/f"},
        {"resultCode false", Body("{\"resultCode\":false,\"url\":\"http://h/g\"}\n"), 200, 0, Data::Text, L"http://h/g"},
        {"resultCode null", Body("{\"resultCode\":null,\"url\":\"http://h/h\"}\n"), 200, 0, Data::Text, L"http://h/h"},
        {"resultCode 1.9", Body("{\"resultCode\":1.9,\"url\":\"http://h/i\"}\n"), 200, 1, Data::NullText, nullptr},
        {"resultCode true", Body("{\"resultCode\":true,\"url\":\"http://h/j\"}\n"), 200, 1, Data::NullText, nullptr},
        {"resultCode 7", Body("{\"resultCode\":7,\"url\":\"http://h/j\"}\n"), 200, 7, Data::NullText, nullptr},
        {"resultCode missing", Body("{\"url\":\"http://h/k\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode a text", Body("{\"resultCode\":\"0\",\"url\":\"http://h/l\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode an array", Body("{\"resultCode\":[0],\"url\":\"http://h/l\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode an object", Body("{\"resultCode\":{},\"url\":\"http://h/l\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode beyond 32 bits", Body("{\"resultCode\":4294967296,\"url\":\"http://h/l\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode real beyond 32 bits", Body("{\"resultCode\":1e20,\"url\":\"http://h/l\"}\n"), 200, -1, Data::NullText, nullptr},
        // Numbers with a fraction or an exponent go through the reader's
        // floating-point path: the C locale's full text or nothing.
        {"resultCode 1E1", Body("{\"resultCode\":1E1,\"url\":\"http://h/p\"}\n"), 200, 10, Data::NullText, nullptr},
        {"resultCode -0.75", Body("{\"resultCode\":-0.75,\"url\":\"http://h/q\"}\n"), 200, 0, Data::Text, L"http://h/q"},
        {"resultCode 00.0e+0", Body("{\"resultCode\":00.0e+0,\"url\":\"http://h/r\"}\n"), 200, 0, Data::Text, L"http://h/r"},
        {"resultCode underflowing to 0", Body("{\"resultCode\":1e-400,\"url\":\"http://h/s\"}\n"), 200, 0, Data::Text, L"http://h/s"},
        {"resultCode overflowing a double", Body("{\"resultCode\":1e999,\"url\":\"http://h/t\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode exponent without digits", Body("{\"resultCode\":1e,\"url\":\"http://h/u\"}\n"), 200, -1, Data::NullText, nullptr},
        {"resultCode fraction without digits", Body("{\"resultCode\":-.e1,\"url\":\"http://h/v\"}\n"), 200, -1, Data::NullText, nullptr},
        {"url missing", Body("{\"resultCode\":0}\n"), 200, 0, Data::Text, L""},
        {"url empty", Body("{\"resultCode\":0,\"url\":\"\"}\n"), 200, 0, Data::Text, L""},
        {"url not a text", Body("{\"resultCode\":0,\"url\":5}\n"), 200, 0, Data::NullText, nullptr},
        {"url null", Body("{\"resultCode\":0,\"url\":null}\n"), 200, 0, Data::NullText, nullptr},
        {"url non-ASCII", Body("{\"resultCode\":0,\"url\":\"http://h/\xE4\xB8\x8B\xE8\xBD\xBD\xF0\x9F\x93\xA6.exe\"}\n"), 200, 0, Data::Text, L"http://h/\u4E0B\u8F7D\U0001F4E6.exe"},
        {"root an array", Body("[{\"resultCode\":0,\"url\":\"http://h/m\"}]\n"), 200, -1, Data::NullText, nullptr},
        {"root a text", Body("\"http://h/m\"\n"), 200, -1, Data::NullText, nullptr},
        {"root null", Body("null\n"), 200, -1, Data::NullText, nullptr},
        {"nested too deep", Body(deep + "\n"), 200, -1, Data::NullText, nullptr},
        {"not JSON", Body("<html>\n"), 200, -1, Data::NullText, nullptr},
        {"empty reply", Body(""), 200, -1, Data::NullText, nullptr},
        {"oversized line", Body("{\"resultCode\":0,\"url\":\"" + longUrl + "\"}\n"), 200, -1, Data::Null, nullptr},
        {"endless carriage returns", Body(std::string(100000, '\r')), 200, -1, Data::Null, nullptr},
        {"status 404", "{\"status\": 404, \"body\": \"{\\\"resultCode\\\":0,\\\"url\\\":\\\"http://h/n\\\"}\\n\"}", 404, -1, Data::Null, nullptr},
        {"status 500", "{\"status\": 500, \"body\": \"\"}", 500, -1, Data::Null, nullptr},
        {"reply broken off", "{\"body\": \"{\\\"resultCode\\\":0,\\\"url\\\":\\\"http://h/o\\\"}\\n\", \"content_length\": 500}", 200, 0, Data::Text, L"http://h/o"},
        {"connection dropped unanswered", "{\"drop\": true}", 0, -1, Data::Null, nullptr},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(c.name);
        RecordedResult r = Run(c.serverCase);
        EXPECT_EQ(r.kind, PackageUrl);
        EXPECT_EQ(r.httpStatus, c.httpStatus);
        EXPECT_EQ(r.resultCode, c.resultCode);
        EXPECT_EQ(r.dataNull, c.data == Data::Null);
        if (c.data != Data::Null) {
            EXPECT_EQ(r.textNull, c.data == Data::NullText);
        }
        if (c.data == Data::Text) {
            EXPECT_EQ(r.text, c.url);
        }
    }
}

TEST_F(QueryTest, NoServerListening) {
    ASSERT_TRUE(TestServer::Refuse(4));
    Sleep(300);
    RecordedResult r = Run("");
    EXPECT_EQ(r.httpStatus, 0);
    EXPECT_EQ(r.resultCode, -1);
    EXPECT_TRUE(r.dataNull);
    // Back for the next test.
    for (int i = 0; i < 100 && !TestServer::Reset(); ++i) Sleep(100);
}

}  // namespace
