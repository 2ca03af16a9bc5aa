// Plain winsock, so that a test of the internet code does not depend on the
// code under test.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/common/TestServer.h"

#include <json/json.h>

#include <memory>
#include <sstream>

namespace TestServer {

unsigned short& Port() {
    static unsigned short port = 80;
    return port;
}

// One exchange on a fresh connection; returns the reply's body, or "" with
// *ok false when the server could not be reached.
std::string Call(const char* method, const std::string& path, const std::string& body, bool* ok) {
    static bool started = [] {
        WSADATA wsa;
        return WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
    }();
    if (ok) *ok = false;
    if (!started) return std::string();
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return std::string();
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(Port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string req = std::string(method) + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        bool sent = send(s, req.data(), static_cast<int>(req.size()), 0) == static_cast<int>(req.size());
        char buf[65536];
        int n;
        while (sent && (n = recv(s, buf, sizeof buf, 0)) > 0) reply.append(buf, static_cast<size_t>(n));
        if (ok) *ok = sent && reply.compare(0, 12, "HTTP/1.1 200") == 0;
    }
    closesocket(s);
    size_t split = reply.find("\r\n\r\n");
    return split == std::string::npos ? std::string() : reply.substr(split + 4);
}

// True only when the server answered and said {"ok": true}: a control call
// that the server could not carry out (a route it could not change) fails.
bool Post(const std::string& what, const std::string& json) {
    bool ok = false;
    const std::string body = Call("POST", "/__ctl/" + what, json, &ok);
    Json::Value reply;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(body);
    return ok && Json::parseFromStream(builder, in, &reply, &errors) && reply.isObject() &&
           reply.get("ok", false).asBool();
}

std::string Quote(const std::string& text) {
    Json::Value v(text);
    Json::StreamWriterBuilder w;
    return Json::writeString(w, v);
}

// Forgets all cases and recorded requests and brings the network back online.
bool Reset() { return Post("reset"); }
// `caseJson` is one case object as the server's documentation gives it.
bool SetCase(const std::string& path, const std::string& caseJson) {
    return Post("case", "{\"path\": " + Quote(path) + ", \"case\": " + caseJson + "}");
}
// One case per request, in order; the last one repeats.
bool SetSequence(const std::string& path, const std::string& casesJsonArray) {
    return Post("case", "{\"path\": " + Quote(path) + ", \"sequence\": " + casesJsonArray + "}");
}
// Takes the sandbox's default route away (Wine then reports "offline") / back.
bool Offline() { return Post("offline"); }
bool Online() { return Post("online"); }
// Closes the listener for `seconds`: connections are refused meanwhile.
bool Refuse(double seconds) { return Post("refuse", "{\"seconds\": " + std::to_string(seconds) + "}"); }

std::string Base64Decode(const std::string& in) {
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : in) {
        int d;
        if (c >= 'A' && c <= 'Z') d = c - 'A';
        else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
        else if (c >= '0' && c <= '9') d = c - '0' + 52;
        else if (c == '+') d = 62;
        else if (c == '/') d = 63;
        else continue;
        value = (value << 6) | static_cast<unsigned>(d);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

// Every request recorded since the last Reset, in arrival order.
std::vector<Request> Requests() {
    std::vector<Request> out;
    std::string text = Call("GET", "/__ctl/requests", "");
    Json::Value root;
    Json::CharReaderBuilder b;
    std::string errors;
    std::unique_ptr<Json::CharReader> reader(b.newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors) || !root.isArray())
        return out;
    for (const Json::Value& r : root)
        out.push_back({r["method"].asString(), r["path"].asString(), Base64Decode(r["raw"].asString())});
    return out;
}

}  // namespace TestServer
