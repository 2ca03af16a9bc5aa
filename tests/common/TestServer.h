// Talks to the test server's control API (tests/server/testserver.py) over
// plain winsock, so that a test of the internet code does not depend on the
// code under test. The server listens on 127.0.0.1:80 inside the sandbox.
//
//   TestServer::Reset();
//   TestServer::SetCase("/pkg", R"({"body_size": 5000})");
//   ... run the code under test ...
//   auto requests = TestServer::Requests();
#pragma once

#include <string>
#include <vector>

namespace TestServer {

inline bool SameLetters(const std::string& line, const std::string& name) {
    for (size_t i = 0; i < name.size(); ++i) {
        char a = line[i], b = name[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

struct Request {
    std::string method;
    std::string path;  // as sent, query included
    std::string raw;   // the request's bytes: head, blank line, body
    std::string Head() const { return raw.substr(0, raw.find("\r\n\r\n") + 4); }
    std::string Body() const { return raw.substr(raw.find("\r\n\r\n") + 4); }
    // The value of the first header called `name` (case-insensitive), or "".
    std::string Header(const std::string& name) const {
        std::string head = Head();
        size_t pos = head.find("\r\n");
        while (pos != std::string::npos && pos + 2 < head.size()) {
            size_t end = head.find("\r\n", pos + 2);
            std::string line = head.substr(pos + 2, end - pos - 2);
            size_t colon = line.find(':');
            if (colon != std::string::npos && colon == name.size() && SameLetters(line, name)) {
                size_t v = line.find_first_not_of(' ', colon + 1);
                return v == std::string::npos ? std::string() : line.substr(v);
            }
            pos = end;
        }
        return std::string();
    }
};

// Byte `i` of a generated body ("body_size" in a case).
inline unsigned char GeneratedByte(size_t i) { return static_cast<unsigned char>(i % 251); }

inline std::string GeneratedBody(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(GeneratedByte(i));
    return body;
}

// The server's port on 127.0.0.1 (80 inside the sandbox).
unsigned short& Port();

// One exchange on a fresh connection; returns the reply's body, or "" with
// *ok false when the server could not be reached or did not answer 200.
std::string Call(const char* method, const std::string& path, const std::string& body, bool* ok = nullptr);
bool Post(const std::string& what, const std::string& json = "{}");
// A JSON string literal of `text`.
std::string Quote(const std::string& text);

// Forgets all cases and recorded requests and brings the network back online.
bool Reset();
// `caseJson` is one case object as the server's documentation gives it.
bool SetCase(const std::string& path, const std::string& caseJson);
// One case per request, in order; the last one repeats.
bool SetSequence(const std::string& path, const std::string& casesJsonArray);
// Takes the sandbox's default route away (Wine then reports "offline") / back.
bool Offline();
bool Online();
// Closes the listener for `seconds`: connections are refused meanwhile.
bool Refuse(double seconds);
// Every request recorded since the last Reset, in arrival order.
std::vector<Request> Requests();

}  // namespace TestServer
