// The package URL query: one POST to the update service, one line of JSON back.
#include <cstdlib>
#include <exception>
#include <string>

#include <json/json.h>

#include "BuildConfig.h"
#include "afx/Inet.h"
#include "afx/String.h"
#include "client/ClientInfo.h"
#include "net/HttpAdapter.h"

namespace {

const wchar_t kPackageUrlPath[] = L"/api/1/update/pcoffice/packageurl";

// The reply is one short line of JSON; a server that sends more than this
// before the line ends gets a failure, not the installer's memory.
const UINT kMaxReplyBytes = 64 * 1024;

// Json::Reader and Json::StyledWriter are deprecated in JsonCpp 1.9.5, but
// their default behaviour (comments allowed, any root value) is the one the
// update service's replies are read with.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

std::string NullBody() {
    Json::StyledWriter writer;
    return writer.write(Json::Value());
}

// Reads resultCode and url out of the reply's first line. Anything that
// makes JsonCpp throw (a resultCode that is not a number or does not fit 32
// bits, nesting deeper than the reader allows, a root that is neither an
// object nor null) ends like a reply that does not parse: no URL.
void Interpret(const char* line, int* resultCode, wchar_t** packageUrlText) {
    try {
        Json::Reader reader;
        Json::Value root;
        if (!reader.parse(std::string(line), root)) return;
        *resultCode = root.get("resultCode", -1).asInt();
        if (*resultCode == 0) {
            Json::Value url = root.get("url", "");
            // A url that is not a text carries no usable URL.
            if (url.isString()) *packageUrlText = Utf8ToWide(url.asCString());
        }
    } catch (const std::exception&) {
    }
}

#pragma GCC diagnostic pop

}  // namespace

int CKoHttpAdapter::QueryPackageUrl() {
    kind = PackageUrl;
    wchar_t* packageUrlText = nullptr;
    CString headers = L"User-Agent: " + GetUserAgent() + L"\r\n" + L"Content-Type: application/json";

    CInternetSession* session = nullptr;
    try {
        session = new CInternetSession(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    } catch (CException* e) {
        // Without a session there is no exchange; it still ends in one report.
        e->Delete();
        ReportResult(nullptr);
        return 0;
    }

    CHttpConnection* connection = nullptr;
    CHttpFile* file = nullptr;
    // Request, then connection, then session; whatever is still open. The
    // report comes only after this, whichever way the exchange ended.
    auto closeAll = [&] {
        if (file) {
            file->Close();
            delete file;
            file = nullptr;
        }
        if (connection) {
            connection->Close();
            delete connection;
            connection = nullptr;
        }
        session->Close();
    };
    bool parsed = false;
    try {
        connection = session->GetHttpConnection(CORVANE_UPDATE_HOST, 0, nullptr, nullptr);
        file = connection->OpenRequest(HTTP_VERB_POST, kPackageUrlPath, nullptr, 1, nullptr, nullptr,
                                       INTERNET_FLAG_EXISTING_CONNECT);
        std::string body = NullBody();
        file->SendRequest(headers, static_cast<DWORD>(headers.GetLength()), &body[0],
                          static_cast<DWORD>(body.size()));
        file->QueryInfoStatusCode(httpStatus);
        if (httpStatus == 200) {
            CString line;
            file->ReadString(line, kMaxReplyBytes);
            Interpret(reinterpret_cast<const char*>(line.GetString()), &resultCode, &packageUrlText);
            parsed = true;
        }
        closeAll();
    } catch (CException* e) {
        closeAll();
        e->Delete();
        free(packageUrlText);
        packageUrlText = nullptr;
        parsed = false;
    }
    ReportResult(parsed ? &packageUrlText : nullptr);
    free(packageUrlText);
    delete session;
    return 0;
}
