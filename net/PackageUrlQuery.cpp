// The package URL query: one POST to the update service, one line of JSON back.
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
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

// One exchange with the update service. Every internet object is closed
// when this returns or throws, so the report can come after it. A reply
// that was read gives true, whatever it held.
bool AskForPackageUrl(int* httpStatus, int* resultCode, wchar_t** packageUrlText) {
    const CString headers = L"User-Agent: " + GetUserAgent() + L"\r\n" + L"Content-Type: application/json";
    std::unique_ptr<CInternetSession> session(
        new CInternetSession(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    std::unique_ptr<CHttpConnection> connection(session->GetHttpConnection(CORVANE_UPDATE_HOST, 0, nullptr, nullptr));
    std::unique_ptr<CHttpFile> file(connection->OpenRequest(HTTP_VERB_POST, kPackageUrlPath, nullptr, 1, nullptr,
                                                            nullptr, INTERNET_FLAG_EXISTING_CONNECT));
    std::string body = NullBody();
    file->SendRequest(headers, static_cast<DWORD>(headers.GetLength()), &body[0], static_cast<DWORD>(body.size()));
    file->QueryInfoStatusCode(*httpStatus);
    if (*httpStatus != 200) return false;
    CString line;
    file->ReadString(line, kMaxReplyBytes);
    Interpret(reinterpret_cast<const char*>(line.GetString()), resultCode, packageUrlText);
    return true;
}

}  // namespace

int CKoHttpAdapter::QueryPackageUrl() {
    kind = PackageUrl;
    wchar_t* packageUrlText = nullptr;
    bool parsed = false;
    try {
        parsed = AskForPackageUrl(&httpStatus, &resultCode, &packageUrlText);
    } catch (CException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
        // Out of memory in the program's own part of the exchange; the
        // framework's part throws its memory exception instead.
    }
    if (!parsed) {
        free(packageUrlText);
        packageUrlText = nullptr;
    }
    // Exactly one report, whichever way the exchange ended.
    ReportResult(parsed ? &packageUrlText : nullptr);
    free(packageUrlText);
    return 0;
}
